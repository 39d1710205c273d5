// UDPTL datagrams byte for byte, broken ones refused, and IFP packets
// handed on once and in order through loss, repeats, reordering and the
// wrap of the sequence number.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "engines/sip/udptl.h"
#include "wire.h"

namespace qvfax::sip {
namespace {

using testing::Wire;

std::optional<UdptlPacket> Decode(const Bytes& wire) { return testing::Read(DecodeUdptl, wire); }

TEST(Udptl, DatagramsReadAndWrittenByteForByte) {
  UdptlPacket copies;
  copies.seq = 0x0102;
  copies.primary = Wire({0x06, 0x00});
  copies.secondary = {Wire({0xaa}), Wire({0xbb, 0xcc})};
  const Bytes copies_wire = Wire({0x01, 0x02, 0x02, 0x06, 0x00, 0x00, 0x02, 0x01, 0xaa, 0x02, 0xbb, 0xcc});

  UdptlPacket parity;
  parity.seq = 5;
  parity.primary = Wire({0x11});
  parity.uses_fec = true;
  parity.fec_span = 200;  // two octets: it must stay positive
  parity.fec = {Wire({0x22}), Wire({0x33})};
  const Bytes parity_wire = Wire({0x00, 0x05, 0x01, 0x11, 0x80, 0x02, 0x00, 0xc8, 0x02, 0x01, 0x22, 0x01, 0x33});

  UdptlPacket long_one;
  long_one.seq = 0xffff;
  long_one.primary = Bytes(300, 'x');  // past 127 octets the length takes two
  Bytes long_wire = Wire({0xff, 0xff, 0x81, 0x2c}) + Bytes(300, 'x') + Wire({0x00, 0x00});

  for (const auto& [packet, wire] : {std::pair{copies, copies_wire}, std::pair{parity, parity_wire},
                                     std::pair{long_one, long_wire}}) {
    EXPECT_EQ(EncodeUdptl(packet), wire);
    const auto read = Decode(wire);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->seq, packet.seq);
    EXPECT_EQ(read->primary, packet.primary);
    EXPECT_EQ(read->secondary, packet.secondary);
    EXPECT_EQ(read->uses_fec, packet.uses_fec);
    EXPECT_EQ(read->fec_span, packet.fec_span);
    EXPECT_EQ(read->fec, packet.fec);
  }
}

TEST(Udptl, BrokenDatagramsAreRefused) {
  const Bytes broken[] = {
      Wire({}),
      Wire({0x00}),                                // no room for the number
      Wire({0x00, 0x01, 0x05, 0x06}),              // the packet runs past the end
      Wire({0x00, 0x01, 0x01, 0x06}),              // no recovery
      Wire({0x00, 0x01, 0x01, 0x06, 0x40, 0x00}),  // a choice that does not exist
      Wire({0x00, 0x01, 0x01, 0x06, 0x00, 0x02, 0x01, 0xaa}),        // a copy missing
      Wire({0x00, 0x01, 0x01, 0x06, 0x00, 0x00, 0x99}),              // bytes left over
      Wire({0x00, 0x01, 0x01, 0x06, 0x80, 0x00, 0x00}),              // a span of no octets
      Wire({0x00, 0x01, 0x01, 0x06, 0x80, 0x01, 0x80, 0x00}),        // a negative span
      Wire({0x00, 0x01, 0xc1, 0x06, 0x00, 0x00}),                    // PER fragments
  };
  for (const auto& wire : broken) EXPECT_FALSE(Decode(wire).has_value()) << ::testing::PrintToString(wire);
}

TEST(Udptl, TheSenderCarriesTheNewestCopiesThatFit) {
  UdptlSender sender(2, 14);
  std::vector<UdptlPacket> sent;
  for (const char* ifp : {"a", "bb", "ccc", "dddd"}) sent.push_back(*Decode(sender.Frame(ifp)));
  EXPECT_EQ(sent[0].secondary, std::vector<Bytes>{});
  EXPECT_EQ(sent[1].secondary, std::vector<Bytes>{"a"});
  EXPECT_EQ(sent[2].secondary, (std::vector<Bytes>{"bb", "a"}));
  // Two copies would make 16 octets: the older one is left out.
  EXPECT_EQ(sent[3].secondary, std::vector<Bytes>{"ccc"});
  EXPECT_EQ(sent[3].seq, 3);
}

// The network between a sender and a receiver: which datagrams arrive, in what order.
struct NetCase {
  const char* name;
  int copies;
  std::vector<int> arrive;  // indexes of the datagrams sent, as they arrive
  std::vector<int> handed;  // the packets the receiver hands on, in order
};

class UdptlNet : public ::testing::TestWithParam<NetCase> {};

TEST_P(UdptlNet, EachPacketIsHandedOnOnceInOrder) {
  const NetCase c = GetParam();
  UdptlSender sender(c.copies, 400);
  std::vector<Bytes> wire;
  for (int i = 0; i < 8; ++i) wire.push_back(sender.Frame(Bytes(1, static_cast<char>('0' + i))));
  UdptlReceiver receiver;
  std::vector<int> handed;
  for (int i : c.arrive) {
    for (const auto& ifp : receiver.Take(reinterpret_cast<const uint8_t*>(wire[i].data()), wire[i].size())) {
      EXPECT_EQ(ifp.packet, Bytes(1, static_cast<char>('0' + ifp.seq))) << "the packet of its number";
      handed.push_back(ifp.seq);
    }
  }
  EXPECT_EQ(handed, c.handed);
}

INSTANTIATE_TEST_SUITE_P(
    Udptl, UdptlNet,
    ::testing::Values(NetCase{"AllArrive", 2, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
                      NetCase{"LostOnesComeBackFromCopies", 2, {0, 2, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
                      NetCase{"MoreLostThanCopiesLeaveAGap", 1, {0, 3, 4, 7}, {0, 2, 3, 4, 6, 7}},
                      NetCase{"NoCopiesNoRecovery", 0, {0, 2, 3, 7}, {0, 2, 3, 7}},
                      NetCase{"LateAndTwiceAreDropped", 2, {0, 1, 3, 2, 3, 1, 4}, {0, 1, 2, 3, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Udptl, TheSequenceNumberWrapsWithoutLoss) {
  UdptlReceiver receiver;
  std::vector<uint16_t> handed;
  for (uint16_t seq : {uint16_t{65534}, uint16_t{0}, uint16_t{1}}) {
    UdptlPacket p;
    p.seq = seq;
    p.primary = "x";
    p.secondary = {"y"};
    const Bytes wire = EncodeUdptl(p);
    for (const auto& ifp : receiver.Take(reinterpret_cast<const uint8_t*>(wire.data()), wire.size())) {
      handed.push_back(ifp.seq);
    }
  }
  // 65535 comes back from 0's copy.
  EXPECT_EQ(handed, (std::vector<uint16_t>{65534, 65535, 0, 1}));
  EXPECT_EQ(receiver.Recovered(), 1u);
}

TEST(UdptlFuzz, AnyBytesAreReadOrRefusedAndWhatIsReadWritesBackTheSame) {
  std::mt19937 random(20261208);
  UdptlSender sender(3, 400);
  for (int round = 0; round < 3000; ++round) {
    Bytes wire = sender.Frame(Bytes(random() % 40, static_cast<char>(random())));
    // Mangle it: flip, cut or grow.
    const int how = static_cast<int>(random() % 4);
    if (how == 0 && !wire.empty()) wire[random() % wire.size()] ^= static_cast<char>(1 << (random() % 8));
    if (how == 1) wire.resize(random() % (wire.size() + 1));
    if (how == 2) wire.push_back(static_cast<char>(random()));
    const auto read = Decode(wire);
    if (!read) continue;
    const auto again = Decode(EncodeUdptl(*read));
    ASSERT_TRUE(again.has_value()) << "round " << round;
    EXPECT_EQ(again->primary, read->primary);
    EXPECT_EQ(again->secondary, read->secondary);
    EXPECT_EQ(again->fec, read->fec);
  }
}

}  // namespace
}  // namespace qvfax::sip
