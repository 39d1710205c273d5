// One fax call over SIP, either way: it places the INVITE (or answers the
// one that rang), runs the media the session descriptions agree on (G.711
// audio, or T.38 once either side switches by re-INVITE), and says what
// became of the call. It is polled: each Poll() moves the call's time on by
// the milliseconds that passed and returns what happened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/sip/fax_end.h"
#include "engines/sip/sip_agent.h"
#include "engines/sip/sip_config.h"

namespace qvfax::sip {

struct SipCallSetup {
  FaxEndSetup fax;     // calling: sends fax.document; answering: receives into fax.received
  std::string number;  // whom a call we place goes to
  size_t account = 0;
  SipAccount settings;
  std::string media_host;  // where the media socket binds
  std::string advertised;  // the address our session descriptions give
  int rtp_first = 20000, rtp_last = 30000;
  int jitter_ms = 60;
  int t38_copies = 3;
  int t38_max_datagram = 400;
  int answer_timeout_ms = 60000;
};

struct SipCallEvent {
  enum Kind { kRinging, kConnected, kPage, kFinished } kind;
  SipCallEvent(Kind k, int p = 0, int32_t s = 0, std::string d = {}) : kind(k), page(p), status(s), detail(std::move(d)) {}
  int page = 0;
  int32_t status = 0;  // kFinished: the termination status
  std::string detail;  // kFinished: why, in words
};

class SipCall {
 public:
  // Places the call.
  SipCall(std::shared_ptr<SipAgent> agent, SipCallSetup setup);
  // Answers the call that rang (`incoming` as the agent gave it).
  SipCall(std::shared_ptr<SipAgent> agent, SipCallSetup setup, const CallEvent& incoming);
  ~SipCall();  // a call still up is hung up
  SipCall(const SipCall&) = delete;
  SipCall& operator=(const SipCall&) = delete;

  std::vector<SipCallEvent> Poll(int elapsed_ms);
  // Hangs up now; the next Poll() says it finished, cancelled.
  void Abort();
  bool Finished() const;

  std::string RemoteIdent() const;
  int BitRate() const;
  bool Ecm() const;
  int64_t ConnectedMs() const;  // how long the media ran
  const std::vector<std::string>& Trace() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
