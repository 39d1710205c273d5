// The line engine: the bank's ports and fax objects, with calls that are real
// T.30 sessions on a software telephone line to virtual remote fax machines.
// A call runs in slices of line time on the apartment's clock, so the
// apartment stays responsive; the speed factor relates line time to clock time.
#pragma once

#include <functional>
#include <memory>

#include "engines/line/line_config.h"
#include "engines/sim/sim_bank.h"

namespace qvfax::line {

class LineBank : public sim::SimBank {
 public:
  LineBank(LineConfig config, std::shared_ptr<Clock> clock);
  ~LineBank() override;

  int32_t CreateFaxObject(int16_t fax_type, int16_t pages, int16_t resolution, int16_t width, int16_t length,
                          int16_t compression, int16_t bft, int16_t ecm, int16_t colour_handling,
                          int16_t colour_type) override;
  int32_t SetFaxPage(int32_t& fax_id, int16_t fax_page, int16_t image_type, int16_t file_page) override;
  int32_t SendNow(const std::string& port, int32_t& fax_id) override;

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
  std::chrono::milliseconds ClockDelay(int64_t line_ms) const;

  LineConfig config_;
  std::unique_ptr<Call> call_;
  std::string last_received_;
};

// `on_create`, when given, hears of each bank created.
void RegisterLineEngine(ComponentRegistry& registry, LineConfig config,
                        std::function<void(std::shared_ptr<LineBank>)> on_create = {});

}  // namespace qvfax::line
