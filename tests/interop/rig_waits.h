// What the tests on the rig share: where the rig keeps its files, waiting
// for another process (a receiver, a sender) with a bound, and the fax
// HylaFAX received last.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "engines/pages/tiff_pages.h"

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

// The newest fax in HylaFAX's receive queue once it has `pages` pages, or "".
inline std::string NewestHylafaxFax(int pages) {
  std::string newest;
  WaitFor(
      [&] {
        auto latest = std::filesystem::file_time_type::min();
        for (const auto& entry : std::filesystem::directory_iterator("/var/spool/hylafax/recvq")) {
          if (entry.path().extension() == ".tif" && entry.last_write_time() >= latest) {
            latest = entry.last_write_time();
            newest = entry.path().string();
          }
        }
        return !newest.empty() && pages::CountPages(newest) == pages;
      },
      std::chrono::seconds(60));
  return newest;
}

}  // namespace qvfax::testing
