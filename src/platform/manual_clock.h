// A clock that moves only when told: Advance(ms) fires every due timer in
// deadline order (ties in scheduling order), setting Now() to each deadline.
#pragma once

#include <map>
#include <utility>

#include "platform/clock.h"

namespace qvfax {

class ManualClock : public Clock {
 public:
  explicit ManualClock(OleDate wall_start = OleDate::FromLocal(2026, 12, 5, 9, 30, 0));

  std::chrono::milliseconds Now() const override { return now_; }
  OleDate LocalNow() const override;
  TimerId Schedule(std::chrono::milliseconds delay, Callback callback) override;
  void Cancel(TimerId id) override;

  void Advance(std::chrono::milliseconds by);
  void Advance(int64_t ms) { Advance(std::chrono::milliseconds(ms)); }
  // Fires timers until none is left or `limit` has passed; returns the time spent.
  std::chrono::milliseconds RunUntilIdle(std::chrono::milliseconds limit);
  size_t PendingTimers() const { return queue_.size(); }

 private:
  using Key = std::pair<std::chrono::milliseconds, TimerId>;

  OleDate wall_start_;
  std::chrono::milliseconds now_{0};
  TimerId next_id_ = 1;
  std::map<Key, Callback> queue_;
  std::map<TimerId, std::chrono::milliseconds> deadlines_;
};

}  // namespace qvfax
