// The apartment's clock: monotonic time for timers and the local wall time for
// log lines. Production runs on the steady clock; tests drive the manual one.
#pragma once

#include <chrono>
#include <cstdint>
#include <algorithm>
#include <functional>

#include "platform/ole_date.h"

namespace qvfax {

class Clock {
 public:
  using Callback = std::function<void()>;
  using TimerId = uint64_t;

  virtual ~Clock() = default;

  virtual std::chrono::milliseconds Now() const = 0;
  virtual OleDate LocalNow() const = 0;

  // Runs `callback` once, `delay` from now, on the apartment's thread.
  virtual TimerId Schedule(std::chrono::milliseconds delay, Callback callback) = 0;
  // Runs `callback` once, as soon as `fd` can be read (or written, with
  // `write`) or `delay` has passed, whichever comes first; cancelled like a
  // timer. One such wait per descriptor at a time. A clock that does not watch
  // descriptors (the manual one) looks again every 10 ms instead.
  virtual TimerId ScheduleOrReady(int fd, bool write, std::chrono::milliseconds delay, Callback callback) {
    (void)fd;
    (void)write;
    return Schedule(std::min(delay, std::chrono::milliseconds(10)), std::move(callback));
  }
  // A cancelled timer never runs; cancelling a fired or unknown id is harmless.
  virtual void Cancel(TimerId id) = 0;
  // Called before `fd` is closed: a descriptor waited on stays watched until
  // then, so a new file given the same number is never mistaken for it.
  virtual void StopWatching(int fd) { (void)fd; }
};

}  // namespace qvfax
