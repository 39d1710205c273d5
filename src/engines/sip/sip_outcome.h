// How a call the far end refused reads as a termination status: busy, no
// answer, a number that does not exist, our own account's credentials, or
// the network failing the call.
#pragma once

#include <cstdint>
#include <string>

namespace qvfax::sip {

struct SipOutcome {
  int32_t status;      // enmQvBkgFaxVmTRMStatus
  std::string detail;  // in words, for the log and the user
};

// `local`: the answer came from our own stack because the network gave none.
SipOutcome OutcomeOfRefusal(int sip_status, const std::string& phrase, bool local, const std::string& account);

}  // namespace qvfax::sip
