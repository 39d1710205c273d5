// One end of a fax call over T.38: SpanDSP's T.38 terminal and its T.30,
// the IFP packets framed as UDPTL datagrams. The caller sends its document,
// the answering end stores what arrives. Datagrams go out through `send`
// and come in through Receive(); time moves only when Advance() is called,
// so a test may run a call at any speed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engines/core/t30_terminal.h"
#include "engines/sip/t38_sdp.h"
#include "engines/sip/udptl.h"

namespace qvfax::sip {

struct T38Setup {
  bool calling = true;      // we call and send `document`; else we answer and store to `received`
  std::string document;
  std::string received;
  core::T30Terminal terminal;
  T38Params params;         // as negotiated
  int copies = 3;           // copies of earlier packets in each datagram, when redundancy was agreed
};

class T38Session {
 public:
  using Send = std::function<void(const Bytes& datagram)>;
  T38Session(const T38Setup& setup, Send send);
  ~T38Session();
  T38Session(const T38Session&) = delete;
  T38Session& operator=(const T38Session&) = delete;

  void Receive(const uint8_t* data, size_t length);
  // Moves the call's time on: T.30's and T.38's timers, and what they send.
  void Advance(int ms);
  // Ends the call from our side (a BYE, a cancel); T.30 hears it at once.
  void HangUp();

  bool Finished() const;
  int Completion() const;  // T.30's completion code, once finished
  int Pages() const;       // confirmed so far: sent, or received
  const UdptlReceiver& Datagrams() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
