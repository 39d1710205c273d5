// The timer on the apartment's clock. Enabling an enabled timer changes
// nothing; a new interval restarts a running timer from now.
#pragma once

#include <memory>

#include "components/timer.h"
#include "platform/clock.h"

namespace qvfax {

class ClockTimer : public Timer {
 public:
  explicit ClockTimer(std::shared_ptr<Clock> clock);
  ~ClockTimer() override;

  void Interval(int32_t ms) override;
  int32_t Interval() const override { return interval_ms_; }
  void Enabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }
  void OnTimerEvent(std::function<void()> handler) override { handler_ = std::move(handler); }

 private:
  void Arm();
  void Disarm();
  void Fire();

  std::shared_ptr<Clock> clock_;
  std::function<void()> handler_;
  int32_t interval_ms_ = 0;
  bool enabled_ = false;
  Clock::TimerId pending_ = 0;
  // Lets a fired callback see that the timer was destroyed by its own handler.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qvfax
