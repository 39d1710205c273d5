// One end of a fax call as G.711 audio over RTP: SpanDSP's fax terminal
// (the modems and T.30) fed 20 ms frames. What comes in plays out of a
// fixed-delay buffer, a lost frame as silence: no concealment and no echo
// canceller, which would only corrupt a modem's signal. Time moves only when
// Advance() is called.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engines/sip/fax_end.h"
#include "engines/sip/rtp.h"

namespace qvfax::sip {

struct G711Setup {
  FaxEndSetup fax;
  bool alaw = true;     // PCMA; else PCMU
  int delay_ms = 60;    // how long what comes in waits to play
  uint32_t ssrc = 0x51f4a000;
};

class G711Session {
 public:
  static constexpr int kFrameMs = 20;
  static constexpr int kFrameSamples = 160;
  using Send = std::function<void(const Bytes& datagram)>;

  G711Session(const G711Setup& setup, Send send);
  ~G711Session();
  G711Session(const G711Session&) = delete;
  G711Session& operator=(const G711Session&) = delete;

  // An RTP datagram; others of the wrong payload type are let go.
  void Receive(const uint8_t* data, size_t length);
  // Plays and sends one 20 ms frame for each 20 ms of `ms`.
  void Advance(int ms);

  FaxEnd& Fax();
  const FaxEnd& Fax() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
