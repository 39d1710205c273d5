// What the tests on the rig share: where the rig keeps its files, and waiting
// for another process (a receiver, a sender) with a bound.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace qvfax::testing {

inline std::filesystem::path RigDir() {
  const char* dir = std::getenv("QVFAX_RIG");
  return dir ? dir : "/tmp/qvfax-rig";
}

// Whether `ready` came true within `limit`, looking five times a second.
inline bool WaitFor(const std::function<bool()>& ready, std::chrono::seconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    if (ready()) return true;
    ::poll(nullptr, 0, 200);
  }
  return ready();
}

}  // namespace qvfax::testing
