// What every media session of a call shares, whatever carries it (G.711
// audio or T.38): T.30 set up for the call's direction, the document or the
// file the pages go into, and how the call ended.
#pragma once

#include <string>

#include "engines/core/t30_terminal.h"

namespace qvfax::sip {

struct FaxEndSetup {
  bool calling = true;  // we call and send `document`; else we answer and store to `received`
  std::string document;
  std::string received;
  core::T30Terminal terminal;
};

class FaxEnd {
 public:
  FaxEnd() = default;
  FaxEnd(const FaxEnd&) = delete;
  FaxEnd& operator=(const FaxEnd&) = delete;

  void Attach(t30_state_t* t30, const FaxEndSetup& setup);
  // Ends the call from our side (a BYE, a cancel, a caller that never
  // sent fax tones); T.30 hears it at once, and the call ends as `completion`.
  void HangUp(int completion = T30_ERR_CALLDROPPED);
  bool Finished() const { return finished_; }
  int Completion() const { return completion_; }  // T.30's completion code, once finished
  int Pages() const;                               // confirmed so far: sent, or received
  bool Connected() const { return connected_; }     // the far end's fax answered ours
  std::string RemoteIdent() const;
  int BitRate() const;
  bool Ecm() const;

 private:
  static void PhaseE(t30_state_t*, void* user, int code);
  static int PhaseB(t30_state_t*, void* user, int);

  t30_state_t* t30_ = nullptr;
  bool calling_ = true;
  bool finished_ = false;
  bool connected_ = false;
  int completion_ = T30_ERR_OK;
};

}  // namespace qvfax::sip
