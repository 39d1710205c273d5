#include "engines/sip/rtp.h"

#include <iterator>

namespace qvfax::sip {

namespace {

constexpr size_t kHeader = 12;
constexpr int64_t kMostAhead = 500;  // frames (10 s): further ahead is a broken sender, not jitter

uint32_t Word(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutWord(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}

}  // namespace

std::optional<RtpPacket> DecodeRtp(const uint8_t* data, size_t length) {
  if (length < kHeader || (data[0] >> 6) != 2) return std::nullopt;
  RtpPacket p;
  p.marker = (data[1] & 0x80) != 0;
  p.payload_type = data[1] & 0x7f;
  p.seq = static_cast<uint16_t>((data[2] << 8) | data[3]);
  p.timestamp = Word(data + 4);
  p.ssrc = Word(data + 8);
  size_t at = kHeader + 4 * static_cast<size_t>(data[0] & 0x0f);
  if ((data[0] & 0x10) != 0) {
    if (at + 4 > length) return std::nullopt;
    at += 4 + 4 * static_cast<size_t>((data[at + 2] << 8) | data[at + 3]);
  }
  size_t end = length;
  if ((data[0] & 0x20) != 0) {
    const size_t padding = data[length - 1];
    if (padding == 0 || padding > length) return std::nullopt;
    end -= padding;
  }
  if (at > end) return std::nullopt;
  p.payload.assign(reinterpret_cast<const char*>(data + at), end - at);
  return p;
}

Bytes EncodeRtp(const RtpPacket& p) {
  Bytes out;
  out.reserve(kHeader + p.payload.size());
  out.push_back(static_cast<char>(0x80));
  out.push_back(static_cast<char>((p.marker ? 0x80 : 0) | (p.payload_type & 0x7f)));
  out.push_back(static_cast<char>(p.seq >> 8));
  out.push_back(static_cast<char>(p.seq & 0xff));
  PutWord(out, p.timestamp);
  PutWord(out, p.ssrc);
  out += p.payload;
  return out;
}

void JitterBuffer::Put(const RtpPacket& packet) {
  if (!first_timestamp_) {
    first_timestamp_ = packet.timestamp;
    played_ = -delay_frames_ - 1;
  }
  // Timestamps wrap: the distance from the first one, signed, in frames.
  const int64_t frame = static_cast<int32_t>(packet.timestamp - *first_timestamp_) / frame_;
  if (frame <= played_) return;  // its time has passed
  if (frame - played_ > kMostAhead + delay_frames_) return;
  waiting_.emplace(frame, packet.payload);
}

std::optional<Bytes> JitterBuffer::Next() {
  if (!first_timestamp_) return std::nullopt;
  ++played_;
  if (played_ < 0) return std::nullopt;
  const auto it = waiting_.find(played_);
  if (it == waiting_.end()) return std::nullopt;
  Bytes payload = std::move(it->second);
  waiting_.erase(waiting_.begin(), std::next(it));
  return payload;
}

}  // namespace qvfax::sip
