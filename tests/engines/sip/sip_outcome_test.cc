// What the far end's refusal of a call reads as, and what our own stack's
// answer, given when the network said nothing, reads as.
#include <gtest/gtest.h>

#include "engines/sip/media_socket.h"
#include "engines/sip/sip_outcome.h"
#include "values/enums.h"

namespace qvfax::sip {
namespace {

TEST(SipOutcome, EachRefusalReadsAsItsStatusAndSaysWhy) {
  struct Row {
    int sip;
    bool local;
    int32_t status;
    const char* says;
  };
  const Row rows[] = {
      {486, false, qbfaxvmstrms_BUSY, "busy: 486 Refused"},
      {600, false, qbfaxvmstrms_BUSY, "busy"},
      {603, false, qbfaxvmstrms_BUSY, "busy"},
      {480, false, qbfaxvmstrms_NO_ANSWER, "no answer: 480 Refused"},
      {408, false, qbfaxvmstrms_NO_ANSWER, "no answer"},
      {404, false, qbfaxvmstrms_B_SITVACOE, "the number does not exist: 404 Refused"},
      {484, false, qbfaxvmstrms_B_SITVACOE, "does not exist"},
      {407, false, qbfaxvmstrms_B_BADPARAMETER, "refused account trunk A: 407 Refused (check its user and password)"},
      {401, false, qbfaxvmstrms_B_BADPARAMETER, "account trunk A"},
      {503, false, qbfaxvmstrms_B_SITNOCIR, "the SIP network failed the call: 503 Refused"},
      {488, false, qbfaxvmstrms_B_SITNOCIR, "failed the call"},
      // Our own stack's 408 or 503: nobody on the network answered at all.
      {408, true, qbfaxvmstrms_B_SITNOCIR, "the SIP network did not answer (408 Refused)"},
      {503, true, qbfaxvmstrms_B_SITNOCIR, "did not answer"},
  };
  for (const auto& row : rows) {
    const auto outcome = OutcomeOfRefusal(row.sip, "Refused", row.local, "trunk A");
    EXPECT_EQ(outcome.status, row.status) << row.sip << (row.local ? " local" : "");
    EXPECT_NE(outcome.detail.find(row.says), std::string::npos) << outcome.detail;
  }
}

TEST(SipOutcome, TheHostOfAProxyIsFoundInEveryFormOfItsUri) {
  const std::pair<const char*, const char*> rows[] = {
      {"sip:127.0.0.1:35060", "127.0.0.1"},    {"sip:proxy.example.net;lr", "proxy.example.net"},
      {"sip:user@10.0.0.1:5080", "10.0.0.1"}, {"sips:[2001:db8::1]:5061", "2001:db8::1"},
      {"sip:example.org", "example.org"},
  };
  for (const auto& [uri, host] : rows) EXPECT_EQ(HostOfUri(uri), host) << uri;
  EXPECT_EQ(LocalAddressToward("127.0.0.1"), "127.0.0.1");
}

}  // namespace
}  // namespace qvfax::sip
