// The UUCP lock file that fax and modem programs on Linux agree on:
// LCK..<device> in the lock folder, holding the owner's PID as ten characters
// and a newline. A lock whose owner is gone is stale and is taken over.
#pragma once

#include <string>
#include <sys/types.h>

namespace qvfax::modem {

class UucpLock {
 public:
  UucpLock() = default;
  ~UucpLock();
  UucpLock(UucpLock&& other) noexcept;
  UucpLock& operator=(UucpLock&& other) noexcept;

  // The lock file of `device` (a path such as /dev/ttyS0) in `folder`.
  static std::string PathFor(const std::string& folder, const std::string& device);

  // Takes the lock. Returns 0, or the PID of the living process that holds
  // it, or -1 when the lock file cannot be written (with `error` set).
  pid_t Acquire(const std::string& folder, const std::string& device, std::string& error);
  void Release();
  bool Held() const { return !path_.empty(); }

 private:
  std::string path_;
};

}  // namespace qvfax::modem
