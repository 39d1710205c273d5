#include "components/clock_timer.h"

#include "platform/apartment.h"

namespace qvfax {

ClockTimer::ClockTimer(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

ClockTimer::~ClockTimer() {
  *alive_ = false;
  Disarm();
}

void ClockTimer::Interval(int32_t ms) {
  interval_ms_ = ms;
  if (enabled_) {
    Disarm();
    Arm();
  }
}

void ClockTimer::Enabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) {
    Arm();
  } else {
    Disarm();
  }
}

void ClockTimer::Arm() {
  // A timer with interval 0 never fires, as a stopped message-loop timer.
  if (interval_ms_ <= 0) return;
  std::weak_ptr<bool> alive = alive_;
  pending_ = clock_->Schedule(std::chrono::milliseconds(interval_ms_), [this, alive] {
    if (auto a = alive.lock(); a && *a) Fire();
  });
}

void ClockTimer::Disarm() {
  if (pending_ != 0) clock_->Cancel(pending_);
  pending_ = 0;
}

void ClockTimer::Fire() {
  pending_ = 0;
  // Re-arm before the handler runs: the handler may disable the timer or
  // change its interval, and either must win over the next tick.
  Arm();
  if (handler_) {
    auto handler = handler_;  // the handler may replace itself while running
    RunGuarded("timer", handler);
  }
}

}  // namespace qvfax
