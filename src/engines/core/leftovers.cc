#include "engines/core/leftovers.h"

#include <cstdlib>
#include <string>

#include "platform/process_alive.h"

namespace qvfax::core {

int RemoveLeftoverSends(const std::filesystem::path& folder) {
  constexpr std::string_view kPrefix = ".sending-";
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const auto dash = name.find('-', kPrefix.size());
    if (dash == std::string::npos) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + kPrefix.size(), &end, 10);
    if (end != name.c_str() + dash || pid <= 0) continue;
    // Only a process that is gone cannot be sending it any more.
    if (ProcessRuns(static_cast<pid_t>(pid))) continue;
    std::error_code remove_error;
    if (std::filesystem::remove(entry.path(), remove_error)) ++removed;
  }
  return removed;
}

}  // namespace qvfax::core
