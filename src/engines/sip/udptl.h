// UDPTL, the datagram framing of T.38 over UDP: each datagram carries one
// IFP packet with its sequence number, and either copies of the packets
// before it (redundancy) or parity over a span of them (FEC). What a lost
// datagram took away, a later one brings back.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace qvfax::sip {

using Bytes = std::string;  // octets as they go on the wire

enum class ErrorCorrection { kNone, kRedundancy, kFec };

// One datagram as it is on the wire.
struct UdptlPacket {
  uint16_t seq = 0;
  Bytes primary;                 // the IFP packet of `seq`
  std::vector<Bytes> secondary;  // redundancy: the packets of seq-1, seq-2, ... (newest first)
  // FEC: the parity entries over the `fec_span` packets before seq, one per
  // interleaved stream.
  int fec_span = 0;
  std::vector<Bytes> fec;
  bool uses_fec = false;
};

// The datagram, or nullopt for one that is not UDPTL (cut short, lengths
// past its end, bytes left over).
std::optional<UdptlPacket> DecodeUdptl(const uint8_t* data, size_t length);
Bytes EncodeUdptl(const UdptlPacket& packet);

// Frames IFP packets as datagrams, each carrying up to `copies` of the
// packets before it, newest first, as far as `max_datagram` allows.
class UdptlSender {
 public:
  UdptlSender(int copies, size_t max_datagram) : copies_(copies), max_datagram_(max_datagram) {}
  Bytes Frame(const Bytes& ifp);

 private:
  int copies_;
  size_t max_datagram_;
  uint16_t next_seq_ = 0;
  std::deque<Bytes> sent_;  // newest first
};

// Takes datagrams as the network delivers them (late, twice, out of order,
// or not at all) and hands on each IFP packet once, in order, recovered
// from a later datagram's copies when its own was lost. A packet that no
// datagram brought is skipped: T.38 sees the gap in the numbers.
class UdptlReceiver {
 public:
  struct Ifp {
    uint16_t seq;
    Bytes packet;
  };
  // The packets this datagram makes ready; empty for a stale or broken one.
  std::vector<Ifp> Take(const uint8_t* data, size_t length);
  uint64_t Recovered() const { return recovered_; }

 private:
  std::optional<uint16_t> expected_;
  uint64_t recovered_ = 0;
};

}  // namespace qvfax::sip
