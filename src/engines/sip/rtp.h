// RTP as fax audio uses it: one payload type, 20 ms of G.711 a packet, and
// on the receiving side a buffer that plays packets out after a fixed
// delay. Fax modems ride out a steady delay but not a jump in it, so the
// delay never adapts; a packet that is missing at its time plays as silence,
// with nothing made up in its place.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "engines/sip/udptl.h"

namespace qvfax::sip {

struct RtpPacket {
  uint8_t payload_type = 0;
  bool marker = false;
  uint16_t seq = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  Bytes payload;
};

// Version 2 only; CSRCs, an extension and padding are read past. Nullopt
// for anything else.
std::optional<RtpPacket> DecodeRtp(const uint8_t* data, size_t length);
Bytes EncodeRtp(const RtpPacket& packet);

class JitterBuffer {
 public:
  // `frame` samples a packet; packets play out `delay_frames` frames after the first one came.
  JitterBuffer(int frame, int delay_frames) : frame_(frame), delay_frames_(delay_frames) {}

  void Put(const RtpPacket& packet);
  // The next frame's payload, or nullopt when its packet is not there
  // (late, lost) or playing has not begun.
  std::optional<Bytes> Next();

 private:
  int frame_;
  int delay_frames_;
  std::map<int64_t, Bytes> waiting_;  // by frames since the first packet's
  std::optional<uint32_t> first_timestamp_;
  int64_t played_ = 0;  // the last frame played out; negative while the delay passes
};

}  // namespace qvfax::sip
