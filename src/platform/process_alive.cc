#include "platform/process_alive.h"

#include <signal.h>

#include <cerrno>
#include <fstream>
#include <string>

namespace qvfax {

bool ProcessRuns(pid_t pid) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  // /proc/<pid>/stat: "pid (name) state ..."; the name may hold spaces.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  const auto close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'Z';
}

}  // namespace qvfax
