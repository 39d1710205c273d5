// The simulated modem bank: configured ports and modems, and scripted calls to
// configured remote numbers. Calls play out on the apartment's clock with
// their events in a realistic order and timing, so tests drive them with the
// manual clock and demos with the steady one.
#pragma once

#include <functional>
#include <memory>

#include "engines/core/bank.h"
#include "engines/sim/sim_config.h"
#include "platform/component_registry.h"

namespace qvfax::sim {

class SimBank : public core::Bank {
 public:
  SimBank(Config config, std::shared_ptr<Clock> clock);

  int32_t SendNow(const std::string& port, int32_t& fax_id) override;
  // A scripted call in: the remote that `from` names (or any number's) sends
  // the pages of `from.document`, on the clock as a send takes them; a remote
  // that drops the line in page N leaves the pages before it.
  int32_t AnswerNow(const std::string& port, const core::IncomingCall& from, const std::string& file,
                    core::ReceptionDone done) override;

 protected:
  void BreakOffCall() override;

 private:
  void Dial();
  void Answer();
  void StartPage(int32_t page);
  void EndPage(int32_t page);
  void HangUp(int32_t status);
  void ReceivePage(int32_t page);
  void StopReceiving(int32_t status);

  std::string received_file_;  // a call that came in: where its pages go

  Config config_;
  Remote remote_;  // the remote of the call under way
};

// Registers the bank as the fax control and the fax manager library of every
// apartment created from `registry`: each control host gets a bank of its own,
// and its fax manager is that same bank.
// `on_create`, when given, hears of each bank created.
void RegisterSimEngine(ComponentRegistry& registry, Config config,
                       std::function<void(std::shared_ptr<SimBank>)> on_create = {});

}  // namespace qvfax::sim
