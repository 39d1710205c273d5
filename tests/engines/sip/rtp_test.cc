// RTP packets byte for byte, what a sender may add read past, and the
// fixed-delay buffer playing frames out in order with gaps left silent.
#include <gtest/gtest.h>

#include "engines/sip/rtp.h"
#include "wire.h"

namespace qvfax::sip {
namespace {

using testing::Wire;

std::optional<RtpPacket> Decode(const Bytes& wire) { return testing::Read(DecodeRtp, wire); }

TEST(Rtp, PacketsReadAndWrittenByteForByte) {
  RtpPacket p{8, true, 0x1234, 0xa0b0c0d0, 0x01020304, Wire({0xd5, 0x55})};
  const Bytes wire = Wire({0x80, 0x88, 0x12, 0x34, 0xa0, 0xb0, 0xc0, 0xd0, 0x01, 0x02, 0x03, 0x04, 0xd5, 0x55});
  EXPECT_EQ(EncodeRtp(p), wire);
  const auto read = Decode(wire);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->payload_type, 8);
  EXPECT_TRUE(read->marker);
  EXPECT_EQ(read->seq, 0x1234);
  EXPECT_EQ(read->timestamp, 0xa0b0c0d0u);
  EXPECT_EQ(read->ssrc, 0x01020304u);
  EXPECT_EQ(read->payload, Wire({0xd5, 0x55}));
  // One CSRC, an extension of one word and two octets of padding, all read past.
  const auto extras = Decode(Wire({0xb1, 0x00, 0, 1, 0, 0, 0, 160, 0, 0, 0, 9, 0, 0, 0, 7,
                                   0xbe, 0xde, 0x00, 0x01, 1, 2, 3, 4, 0x42, 0x00, 0x02}));
  ASSERT_TRUE(extras.has_value());
  EXPECT_EQ(extras->payload, Wire({0x42}));
  for (const Bytes& broken : {Wire({0x80, 0x00}), Wire({0x40, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}),
                              Wire({0x90, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}),              // no room for its extension
                              Wire({0xa0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x42, 0x09})}) {  // padding past the start
    EXPECT_FALSE(Decode(broken).has_value()) << ::testing::PrintToString(broken);
  }
}

struct PlayCase {
  const char* name;
  std::vector<int> arrive;  // frames by number, one arriving before each frame played (-1: none)
  std::vector<int> played;  // what each frame played was (-1: silence)
};

class Playout : public ::testing::TestWithParam<PlayCase> {};

TEST_P(Playout, FramesPlayInOrderAfterTheDelayAndGapsAreSilent) {
  JitterBuffer buffer(160, 2);
  std::vector<int> played;
  for (int frame : GetParam().arrive) {
    if (frame >= 0) {
      RtpPacket p;
      p.timestamp = 0xfffffe00u + static_cast<uint32_t>(frame) * 160;  // the timestamp wraps on the way
      p.payload = Bytes(1, static_cast<char>(frame));
      buffer.Put(p);
    }
    const auto next = buffer.Next();
    played.push_back(next ? static_cast<int>((*next)[0]) : -1);
  }
  EXPECT_EQ(played, GetParam().played);
}

INSTANTIATE_TEST_SUITE_P(
    Rtp, Playout,
    ::testing::Values(PlayCase{"InOrder", {0, 1, 2, 3, 4}, {-1, -1, 0, 1, 2}},
                      // 2 overtakes 1 within the delay: both play in order.
                      PlayCase{"ReorderedWithinTheDelay", {0, 2, 1, 3, 4}, {-1, -1, 0, 1, 2}},
                      // 1 is lost: silence where it was, nothing made up.
                      PlayCase{"Lost", {0, 2, 3, 4, 5}, {-1, -1, 0, -1, 2}},
                      // 1 comes after its time: played as silence, then dropped.
                      PlayCase{"TooLate", {0, -1, 2, 3, 1, 4}, {-1, -1, 0, -1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvfax::sip
