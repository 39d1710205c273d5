// The modem engine: fax calls through real Class 1 fax modems on serial
// ports, or soft modems that present themselves as one (iaxmodem, t38modem).
// Ports and fax objects come from the engine core; this engine asks the
// modems what they are, holds their ports under a UUCP lock while open, and
// runs each call with SpanDSP's T.30 on the apartment's clock.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "engines/core/bank.h"
#include "engines/modem/class1_call.h"
#include "engines/modem/modem_config.h"
#include "engines/core/engine_log.h"
#include "platform/component_registry.h"

namespace qvfax::core {
struct PortState;
}

namespace qvfax::modem {

class ModemBank : public core::Bank {
 public:
  ModemBank(ModemConfig config, std::shared_ptr<Clock> clock);
  ~ModemBank() override;

  void SetLogPath(std::string& folder) override;
  // 0 when a modem answered; -152 no such port or device; -153 the port is
  // held by another program; -167 nothing answered.
  int32_t TestModem(const std::string& port) override;
  int32_t TestDialTone(const std::string& port) override;
  // Takes the port and keeps it until ClosePort: -152 no device, -153 in use
  // or cannot be set up, -2 no modem answers, -156 already open here.
  int32_t OpenPort(const std::string& port) override;
  int32_t ClosePort(const std::string& port) override;
  int32_t GetPortStatus(const std::string& port) override;
  int32_t SendNow(const std::string& port, int32_t& fax_id) override;
  // Waits for RING on the open port with caller ID turned on (as far as the
  // modem takes it) and answers after the port's rings: -152 no such port,
  // -153 closed, -153 too when its modem offers no class 1.
  int32_t AnswerCalls(const std::string& port, core::CallRinging ringing) override;
  std::vector<AnsweringPort> AnsweringPorts() const override;

  const core::EngineLog& Log() const { return log_; }

  struct Call;

 protected:
  void BreakOffCall() override;

 private:
  struct Held;
  const ModemPort* Configured(const std::string& name) const;
  void Note(const std::string& text);
  void Tick();
  // Sends the port's reset and init commands; "" when the modem took them all, else why not.
  std::string Prepare(SerialPort& serial, const ModemPort& port);
  void ScheduleTick();
  // What a call on `configured` starts from, either way: its commands, our
  // id, and the modulations and codings the modem and the port allow.
  Class1Setup SetupFor(const ModemPort& configured, const core::PortState& port, const Held& held) const;
  // Waiting for calls: the port is read for RING and caller ID while no call has it.
  void WatchRings(const std::string& name);
  void PauseRingWatch(const std::string& name);
  void RingTick(const std::string& name);
  void AnswerRinging(const std::string& name);
  void EndReceivingCall(int32_t status, const std::string& detail);
  void EndCall(int32_t status, const std::string& detail);
  // Closes the device of `name` and releases its lock when it has gone away.
  void DropIfGone(const std::string& name);

  ModemConfig config_;
  core::EngineLog log_{"qvfax-modem.log"};
  std::map<std::string, std::unique_ptr<Held>> held_;  // open ports, by name
  std::unique_ptr<Call> call_;
};

// `on_create`, when given, hears of each bank created.
void RegisterModemEngine(ComponentRegistry& registry, ModemConfig config,
                         std::function<void(std::shared_ptr<ModemBank>)> on_create = {});

}  // namespace qvfax::modem
