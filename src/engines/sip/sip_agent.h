// The engine's SIP user agent: sofia-sip's NUA on a thread of its own,
// which registers the accounts that have a registrar and keeps them
// registered. Commands may come from any thread; what the agent hears comes
// back through callbacks on its thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "engines/sip/sip_config.h"

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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvfax::sip
