// The line engine: the engine core's ports and fax objects, with calls that are real
// T.30 sessions on a software telephone line to virtual remote fax machines.
// A call runs in slices of line time on the apartment's clock, so the
// apartment stays responsive; the speed factor relates line time to clock time.
#pragma once

#include <functional>
#include <memory>

#include "engines/line/line_config.h"
#include "engines/core/bank.h"
#include "platform/component_registry.h"

namespace qvfax::line {

class LineBank : public core::Bank {
 public:
  LineBank(LineConfig config, std::shared_ptr<Clock> clock);
  ~LineBank() override;

  int32_t SendNow(const std::string& port, int32_t& fax_id) override;
  // The virtual remote that `from` names (or any number's) calls `port` and
  // sends `from.document`.
  int32_t AnswerNow(const std::string& port, const core::IncomingCall& from, const std::string& file,
                    core::ReceptionDone done) override;

  // The file the remote of the last call stored what it received in.
  const std::string& LastReceivedFile() const;

  struct Call;

 protected:
  void BreakOffCall() override;

 private:
  void Ring(int rings_left);
  void Connect();
  void Slice();
  void Finish(int32_t status);
  void StopReceiving(int32_t status);
  std::chrono::milliseconds ClockDelay(int64_t line_ms) const;

  LineConfig config_;
  std::unique_ptr<Call> call_;
  std::string last_received_;
};

// `on_create`, when given, hears of each bank created.
void RegisterLineEngine(ComponentRegistry& registry, LineConfig config,
                        std::function<void(std::shared_ptr<LineBank>)> on_create = {});

}  // namespace qvfax::line
