// The datagram is ASN.1 aligned PER: a 16-bit sequence number, the IFP
// packet as an open type (length, then octets), a one-bit choice of
// recovery on an octet of its own, then the copies or the parity.
#include "engines/sip/udptl.h"

namespace qvfax::sip {

namespace {

constexpr size_t kMaxLength = 16383;  // longer needs PER's fragments, which no IFP packet does

class Reader {
 public:
  Reader(const uint8_t* data, size_t length) : data_(data), end_(data + length) {}

  bool Octet(uint8_t& out) {
    if (data_ >= end_) return false;
    out = *data_++;
    return true;
  }

  bool Length(size_t& out) {
    uint8_t first = 0;
    if (!Octet(first)) return false;
    if ((first & 0x80) == 0) {
      out = first;
      return true;
    }
    uint8_t second = 0;
    if ((first & 0x40) != 0 || !Octet(second)) return false;
    out = (static_cast<size_t>(first & 0x3f) << 8) | second;
    return true;
  }

  bool Octets(Bytes& out) {
    size_t length = 0;
    if (!Length(length) || static_cast<size_t>(end_ - data_) < length) return false;
    out.assign(reinterpret_cast<const char*>(data_), length);
    data_ += length;
    return true;
  }

  bool AtEnd() const { return data_ == end_; }

 private:
  const uint8_t* data_;
  const uint8_t* end_;
};

void PutLength(Bytes& out, size_t length) {
  if (length < 128) {
    out.push_back(static_cast<char>(length));
  } else {
    out.push_back(static_cast<char>(0x80 | (length >> 8)));
    out.push_back(static_cast<char>(length & 0xff));
  }
}

void PutOctets(Bytes& out, const Bytes& octets) {
  PutLength(out, octets.size());
  out += octets;
}

// Packet numbers wrap at 65536: `a` is after `b` when it is less than half the circle ahead.
int Ahead(uint16_t a, uint16_t b) { return static_cast<int16_t>(static_cast<uint16_t>(a - b)); }

}  // namespace

std::optional<UdptlPacket> DecodeUdptl(const uint8_t* data, size_t length) {
  Reader in(data, length);
  UdptlPacket p;
  uint8_t high = 0, low = 0, choice = 0;
  if (!in.Octet(high) || !in.Octet(low)) return std::nullopt;
  p.seq = static_cast<uint16_t>((high << 8) | low);
  if (!in.Octets(p.primary) || !in.Octet(choice)) return std::nullopt;
  if ((choice & 0x7f) != 0) return std::nullopt;
  size_t count = 0;
  if ((choice & 0x80) == 0) {
    if (!in.Length(count)) return std::nullopt;
    p.secondary.resize(count);
    for (auto& copy : p.secondary) {
      if (!in.Octets(copy)) return std::nullopt;
    }
  } else {
    p.uses_fec = true;
    size_t width = 0;
    if (!in.Length(width) || width == 0 || width > 3) return std::nullopt;
    for (size_t i = 0; i < width; ++i) {
      uint8_t octet = 0;
      if (!in.Octet(octet) || (i == 0 && (octet & 0x80))) return std::nullopt;  // a span is never negative
      p.fec_span = (p.fec_span << 8) | octet;
    }
    if (!in.Length(count)) return std::nullopt;
    p.fec.resize(count);
    for (auto& parity : p.fec) {
      if (!in.Octets(parity)) return std::nullopt;
    }
  }
  if (!in.AtEnd()) return std::nullopt;
  return p;
}

Bytes EncodeUdptl(const UdptlPacket& p) {
  Bytes out;
  out.push_back(static_cast<char>(p.seq >> 8));
  out.push_back(static_cast<char>(p.seq & 0xff));
  PutOctets(out, p.primary.substr(0, kMaxLength));
  if (!p.uses_fec) {
    out.push_back('\0');
    PutLength(out, p.secondary.size());
    for (const auto& copy : p.secondary) PutOctets(out, copy.substr(0, kMaxLength));
  } else {
    out.push_back(static_cast<char>(0x80));
    // An unconstrained integer: its octets, fewest that hold it, behind their count.
    Bytes span;
    for (uint32_t v = static_cast<uint32_t>(p.fec_span); span.empty() || v != 0; v >>= 8) {
      span.insert(span.begin(), static_cast<char>(v & 0xff));
    }
    if (static_cast<uint8_t>(span[0]) & 0x80) span.insert(span.begin(), '\0');  // two's complement: stays positive
    PutOctets(out, span);
    PutLength(out, p.fec.size());
    for (const auto& parity : p.fec) PutOctets(out, parity.substr(0, kMaxLength));
  }
  return out;
}

Bytes UdptlSender::Frame(const Bytes& ifp) {
  UdptlPacket p;
  p.seq = next_seq_++;
  p.primary = ifp;
  for (const auto& before : sent_) p.secondary.push_back(before);
  Bytes out = EncodeUdptl(p);
  // The newest copies matter most: the oldest go first when the datagram would be too long.
  while (out.size() > max_datagram_ && !p.secondary.empty()) {
    p.secondary.pop_back();
    out = EncodeUdptl(p);
  }
  if (copies_ > 0) {
    sent_.push_front(ifp);
    if (sent_.size() > static_cast<size_t>(copies_)) sent_.pop_back();
  }
  return out;
}

std::vector<UdptlReceiver::Ifp> UdptlReceiver::Take(const uint8_t* data, size_t length) {
  const auto p = DecodeUdptl(data, length);
  if (!p) return {};
  if (!expected_) expected_ = p->seq;
  const int ahead = Ahead(p->seq, *expected_);
  if (ahead < 0) return {};  // late, or a second copy: already handed on or given up
  std::vector<Ifp> ready;
  // Packets lost on the way come back from this datagram's copies, oldest
  // first; those it holds no copy of stay lost.
  for (int back = ahead; back >= 1; --back) {
    const size_t copy = static_cast<size_t>(back - 1);
    if (copy < p->secondary.size()) {
      ready.push_back({static_cast<uint16_t>(p->seq - back), p->secondary[copy]});
      ++recovered_;
    }
  }
  ready.push_back({p->seq, p->primary});
  expected_ = static_cast<uint16_t>(p->seq + 1);
  return ready;
}

}  // namespace qvfax::sip
