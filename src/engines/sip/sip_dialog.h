// One call as the user agent and an engine's channel share it: the agent
// puts what it hears of the call into the dialog from its thread, and the
// channel takes it out on its own. A descriptor becomes readable while
// something waits, so a channel with no call in progress sleeps on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qvfax::sip {

class SipDialog;

struct CallEvent {
  enum Kind {
    kRinging,        // 18x to our INVITE
    kAnswered,       // 200 to our INVITE; `sdp` holds the far end's answer
    kFailed,         // our INVITE was refused (or the network never answered: `local`)
    kEnded,          // the far end hung up (BYE, or CANCEL before we answered)
    kOffer,          // the far end offers new media in a re-INVITE; `sdp` holds it
    kOfferAnswered,  // our re-INVITE was taken; `sdp` holds the answer
    kOfferRefused,   // our re-INVITE was refused; the media stay as they were
    kIncoming,       // a call rings for this channel: `dialog`, and who calls whom
    kConfirmed,      // the caller's ACK to our answer came: the call is up at both ends
  } kind;
  CallEvent(Kind k, int s = 0, std::string p = {}, std::string body = {})
      : kind(k), status(s), phrase(std::move(p)), sdp(std::move(body)) {}
  int status = 0;
  std::string phrase;
  std::string sdp;
  bool local = false;  // kFailed: the answer came from our own stack, not the network
  std::shared_ptr<SipDialog> dialog;
  std::string caller_number, caller_name, called_number;
};

// A queue of events with a descriptor to wait on.
class Mailbox {
 public:
  Mailbox();
  ~Mailbox();
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;

  void Put(CallEvent event);
  std::vector<CallEvent> Take();
  int Descriptor() const { return fd_; }

 private:
  std::mutex mutex_;
  std::deque<CallEvent> events_;
  std::atomic<bool> waiting_{false};
  int fd_ = -1;
};

// A call's dialog: its events, and the agent's own handle for it, which
// only the agent's thread touches.
class SipDialog {
 public:
  Mailbox& Events() { return events_; }
  void* handle = nullptr;  // the agent's
  size_t account = 0;

 private:
  Mailbox events_;
};

// A channel that may be rung: the agent hands it an incoming call when it
// is free and marks it taken; the channel frees itself when it is idle again.
struct Ringer {
  size_t account = 0;
  std::atomic<bool> free{true};
  Mailbox events;
};

}  // namespace qvfax::sip
