// One end of a fax call over T.38: SpanDSP's T.38 terminal and its T.30,
// the IFP packets framed as UDPTL datagrams. The caller sends its document,
// the answering end stores what arrives. Datagrams go out through `send`
// and come in through Receive(); time moves only when Advance() is called,
// so a test may run a call at any speed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engines/sip/fax_end.h"
#include "engines/sip/t38_sdp.h"
#include "engines/sip/udptl.h"

namespace qvfax::sip {

struct T38Setup {
  FaxEndSetup fax;
  T38Params params;  // as negotiated
  int copies = 3;    // copies of earlier packets in each datagram, when redundancy was agreed
  // At the pace of the modulation each packet stands for, as a gateway to a
  // telephone line needs; a far end that is a terminal itself takes image
  // data at the rate below instead, and the fax takes a fraction of the time.
  bool paced = true;
};

class T38Session {
 public:
  // Unpaced, datagrams leave at most this many a millisecond: a whole ECM
  // block (64 KB) in well under T.30's 3 s wait for an answer, and no burst
  // that overflows the far end's socket.
  static constexpr double kUnpacedDatagramsPerMs = 0.5;

  using Send = std::function<void(const Bytes& datagram)>;
  T38Session(const T38Setup& setup, Send send);
  ~T38Session();
  T38Session(const T38Session&) = delete;
  T38Session& operator=(const T38Session&) = delete;

  void Receive(const uint8_t* data, size_t length);
  // Moves the call's time on: T.30's and T.38's timers, and what they send.
  void Advance(int ms);
  FaxEnd& Fax();
  const FaxEnd& Fax() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
