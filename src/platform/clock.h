// The apartment's clock: monotonic time for timers and the local wall time for
// log lines. Production runs on the steady clock; tests drive the manual one.
#pragma once

#include <chrono>
#include <cstdint>
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
  // A cancelled timer never runs; cancelling a fired or unknown id is harmless.
  virtual void Cancel(TimerId id) = 0;
};

}  // namespace qvfax
