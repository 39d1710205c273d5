// Told when a server object is initialised and when it terminates.
#pragma once

#include <string>

namespace qvfax {

class LifecycleNotifier {
 public:
  virtual ~LifecycleNotifier() = default;

  virtual bool Initialized() = 0;  // the result is not used
  virtual bool Terminating() = 0;  // the result is not used
};

// The stand-in: a journal line on stderr for each call, nothing more.
class JournalLifecycleNotifier : public LifecycleNotifier {
 public:
  bool Initialized() override;
  bool Terminating() override;
};

inline constexpr const char* kLifecycleNotifierClass = "QvNrLifecycle.Notifier";

}  // namespace qvfax
