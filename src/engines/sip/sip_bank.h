// The sip engine: fax calls over SIP with no modem, G.711 audio or T.38,
// through the accounts of its configuration. Its ports are the accounts'
// call channels (sip0, sip1, ...); a port is usable while its account is
// registered (or needs no registration). One user agent serves every bank
// of the process, so all channels share the SIP address and registrations.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "engines/core/bank.h"
#include "engines/core/engine_log.h"
#include "engines/sip/sip_agent.h"
#include "engines/sip/sip_config.h"
#include "platform/component_registry.h"

namespace qvfax::core {
struct PortState;
}

namespace qvfax::sip {

struct SipCallSetup;

class SipBank : public core::Bank {
 public:
  SipBank(SipConfig config, std::shared_ptr<SipAgent> agent, std::shared_ptr<Clock> clock);
  ~SipBank() override;

  void SetLogPath(std::string& folder) override;
  // -152 no such channel; -153 the user agent could not start (its reason is the status text).
  int32_t OpenPort(const std::string& port) override;
  int32_t ClosePort(const std::string& port) override;
  int32_t TestModem(const std::string& port) override;
  int32_t TestDialTone(const std::string& port) override;
  // Closed, working, or idle; a channel whose account the registrar refused
  // or cannot reach stays closed, with the reason as the status text.
  int32_t GetPortStatus(const std::string& port) override;
  int32_t SendNow(const std::string& port, int32_t& fax_id) override;
  int32_t AnswerCalls(const std::string& port, core::CallRinging ringing) override;
  std::vector<AnsweringPort> AnsweringPorts() const override;

  const core::EngineLog& Log() const { return log_; }

  struct Call;

 protected:
  void BreakOffCall() override;

 private:
  struct Channel;
  const SipPort* Configured(const std::string& name) const;
  void Note(const std::string& text);
  // What a call on `port` of the account starts from, either way.
  SipCallSetup SetupFor(const core::PortState& port, size_t account) const;
  void Tick();
  void ScheduleTick();
  void EndCall(int32_t status, const std::string& detail);
  void WatchRings(const std::string& name);
  void RingTick(const std::string& name);

  SipConfig config_;
  std::vector<SipPort> ports_;
  std::shared_ptr<SipAgent> agent_;
  core::EngineLog log_{"qvfax-sip.log"};
  std::map<std::string, std::unique_ptr<Channel>> open_;  // by port name
  std::unique_ptr<Call> call_;
};

// One user agent for every bank made through the registry; it starts, and
// registers the accounts, when the first bank is made.
void RegisterSipEngine(ComponentRegistry& registry, SipConfig config,
                       std::function<void(std::shared_ptr<SipBank>)> on_create = {});

}  // namespace qvfax::sip
