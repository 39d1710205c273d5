// A timer: while enabled it fires every Interval milliseconds on the
// apartment's thread, between other calls, until it is disabled.
#pragma once

#include <cstdint>
#include <functional>

namespace qvfax {

class Timer {
 public:
  virtual ~Timer() = default;

  virtual void Interval(int32_t ms) = 0;
  virtual int32_t Interval() const = 0;
  virtual void Enabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  // Connects the TimerEvent handler; an empty function disconnects it.
  virtual void OnTimerEvent(std::function<void()> handler) = 0;
};

}  // namespace qvfax
