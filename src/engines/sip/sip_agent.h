// The engine's SIP user agent: sofia-sip's NUA on a thread of its own,
// which registers the accounts that have a registrar and keeps them
// registered, places and answers calls, and keeps their dialogs (re-INVITE,
// BYE, CANCEL). Commands may come from any thread; what it hears of a call
// goes into the call's dialog, and of a registration to a callback on its
// thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "engines/sip/sip_config.h"
#include "engines/sip/sip_dialog.h"

namespace qvfax::sip {

struct Registration {
  enum State { kRegistering, kRegistered, kRefused, kUnreachable } state = kRegistering;
  int status = 0;      // the registrar's last answer
  std::string detail;  // for the log and the user: what went wrong, naming the account
};

class SipAgent {
 public:
  using RegistrationChanged = std::function<void(size_t account, const Registration& now)>;

  // Binds the configured address; Error() says why not when it cannot.
  SipAgent(const SipConfig& config, RegistrationChanged changed);
  ~SipAgent();  // unregisters and ends its thread
  SipAgent(const SipAgent&) = delete;
  SipAgent& operator=(const SipAgent&) = delete;

  const std::string& Error() const;
  // Registers every account with a registrar, and again before each registration runs out.
  void Register();
  // The account's registration as last heard; kRegistered for one without a registrar.
  Registration RegistrationOf(size_t account) const;
  // The same, once the account's registration is no longer in progress or `timeout_ms` passed.
  Registration AwaitRegistration(size_t account, int timeout_ms) const;

  // Calls `number` (a user at the account's domain, or a whole SIP URI) from
  // `account`, through its proxy or registrar, offering `sdp`.
  std::shared_ptr<SipDialog> Invite(size_t account, const std::string& number, const std::string& sdp);
  // Answers a call that rang with `sdp`, or refuses it.
  void Answer(const std::shared_ptr<SipDialog>& dialog, const std::string& sdp);
  void Refuse(const std::shared_ptr<SipDialog>& dialog, int status, const std::string& phrase);
  // CANCEL before the far end answered, BYE after; a call that rang and was
  // not answered is refused.
  void HangUp(const std::shared_ptr<SipDialog>& dialog);
  // A re-INVITE offering `sdp`, and our answer to the far end's.
  void Reoffer(const std::shared_ptr<SipDialog>& dialog, const std::string& sdp);
  void AnswerOffer(const std::shared_ptr<SipDialog>& dialog, int status, const std::string& sdp);
  // Calls for the ringer's account ring it while it is free; with no free
  // ringer a call is refused as busy.
  void Listen(const std::shared_ptr<Ringer>& ringer);
  void StopListening(const std::shared_ptr<Ringer>& ringer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
