// The production clock: timers on an asio event loop's steady timers, wall
// time from the system clock in the local zone.
#pragma once

#include <map>
#include <memory>

#include "platform/clock.h"

namespace asio {
class io_context;
}

namespace qvfax {

class SteadyClock : public Clock {
 public:
  explicit SteadyClock(asio::io_context& loop);
  ~SteadyClock() override;

  std::chrono::milliseconds Now() const override;
  OleDate LocalNow() const override;
  TimerId Schedule(std::chrono::milliseconds delay, Callback callback) override;
  // Waits on the event loop for the descriptor, so an idle line costs no wake-ups.
  TimerId ScheduleOrReady(int fd, bool write, std::chrono::milliseconds delay, Callback callback) override;
  void Cancel(TimerId id) override;
  void StopWatching(int fd) override;

 private:
  struct Pending;
  struct Watched;
  asio::io_context& loop_;
  TimerId next_id_ = 1;
  std::map<TimerId, std::shared_ptr<Pending>> pending_;
  std::map<int, std::unique_ptr<Watched>> watched_;  // by descriptor
};

}  // namespace qvfax
