// T.38's SDP attributes as endpoints write them, refused when they make no
// sense, and answered with no more than both sides can do.
#include <gtest/gtest.h>

#include "engines/sip/t38_sdp.h"

namespace qvfax::sip {
namespace {

struct OfferCase {
  const char* name;
  std::vector<std::string> offer;
  std::vector<std::string> answer;  // ours: version 0, 14,400, 400-octet datagrams, copies
  bool terminals = false;            // the offerer says it is a terminal, and so are we: no pacing
};

class T38Offer : public ::testing::TestWithParam<OfferCase> {};

TEST_P(T38Offer, IsAnsweredWithWhatBothCanDo) {
  std::string error;
  const auto offer = ParseT38(GetParam().offer, error);
  ASSERT_TRUE(offer.has_value()) << error;
  EXPECT_EQ(offer->terminal, GetParam().terminals);
  T38Params ours;
  ours.terminal = GetParam().terminals;
  EXPECT_EQ(T38Attributes(AnswerT38(*offer, ours)), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Sdp, T38Offer,
    ::testing::Values(
        OfferCase{"ATypicalTrunk",
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF",
                   "T38FaxMaxBuffer:2000", "T38FaxMaxDatagram:200", "T38FaxUdpEC:t38UDPRedundancy", "sendrecv"},
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF",
                   "T38FaxMaxDatagram:400", "T38FaxUdpEC:t38UDPRedundancy"}},
        // A later version, a slower line, local training and parity, in lower case.
        OfferCase{"AskingMoreOrLess",
                  {"t38faxversion:3", "t38maxbitrate:9600", "t38faxratemanagement:localTCF", "t38faxudpec:t38UDPFEC",
                   "T38FaxFillBitRemoval", "T38FaxTranscodingMMR:1"},
                  {"T38FaxVersion:0", "T38MaxBitRate:9600", "T38FaxRateManagement:localTCF", "T38FaxMaxDatagram:400",
                   "T38FaxUdpEC:t38UDPRedundancy"}},
        // No error correction named: none is used.
        OfferCase{"NoRecovery",
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF"},
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF",
                   "T38FaxMaxDatagram:400"}},
        // Two of our own ends: each says it is a terminal.
        OfferCase{"TwoTerminals",
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF",
                   "T38FaxMaxDatagram:400", "T38FaxUdpEC:t38UDPRedundancy", "X-qvfax-terminal"},
                  {"T38FaxVersion:0", "T38MaxBitRate:14400", "T38FaxRateManagement:transferredTCF",
                   "T38FaxMaxDatagram:400", "T38FaxUdpEC:t38UDPRedundancy", "X-qvfax-terminal"},
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sdp, AT38AttributeThatMakesNoSenseIsNamed) {
  for (const char* attribute : {"T38FaxVersion:x", "T38FaxVersion:9", "T38MaxBitRate:100", "T38FaxMaxDatagram:10",
                                "T38FaxUdpEC:t38UDPMagic", "T38FaxRateManagement:", "T38FaxFillBitRemoval:yes"}) {
    std::string error;
    EXPECT_FALSE(ParseT38({"T38FaxVersion:0", attribute}, error).has_value()) << attribute;
    EXPECT_NE(error.find(attribute), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace qvfax::sip
