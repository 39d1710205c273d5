#include "engines/sip/sip_outcome.h"

#include <fmt/format.h>

#include "values/enums.h"

namespace qvfax::sip {

SipOutcome OutcomeOfRefusal(int sip_status, const std::string& phrase, bool local, const std::string& account) {
  const std::string answer = fmt::format("{} {}", sip_status, phrase);
  if (local) {
    // Nobody answered the INVITE at all: the proxy or the network is down.
    return {qbfaxvmstrms_B_SITNOCIR, fmt::format("the SIP network did not answer ({})", answer)};
  }
  switch (sip_status) {
    case 486:
    case 600:
    case 603:
      return {qbfaxvmstrms_BUSY, "busy: " + answer};
    case 408:
    case 480:
    case 487:
      return {qbfaxvmstrms_NO_ANSWER, "no answer: " + answer};
    case 404:
    case 410:
    case 484:
    case 604:
      return {qbfaxvmstrms_B_SITVACOE, "the number does not exist: " + answer};
    case 401:
    case 403:
    case 407:
      return {qbfaxvmstrms_B_BADPARAMETER,
              fmt::format("the SIP network refused account {}: {} (check its user and password)", account, answer)};
    default:
      return {qbfaxvmstrms_B_SITNOCIR, "the SIP network failed the call: " + answer};
  }
}

}  // namespace qvfax::sip
