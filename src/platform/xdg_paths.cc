#include "platform/xdg_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qvfax::xdg {

namespace {

std::filesystem::path Home() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return std::filesystem::temp_directory_path();
}

std::filesystem::path FromEnv(const char* name, const std::filesystem::path& fallback) {
  const char* value = std::getenv(name);
  // XDG base directories must be absolute; a relative one is ignored.
  if (value && *value == '/') return value;
  return fallback;
}

}  // namespace

std::filesystem::path ConfigHome() { return FromEnv("XDG_CONFIG_HOME", Home() / ".config"); }

std::filesystem::path StateHome() { return FromEnv("XDG_STATE_HOME", Home() / ".local" / "state"); }

std::filesystem::path RuntimeDir() {
  // Without a session's runtime folder, prefer memory-backed storage: every
  // status change rewrites a file there.
  std::error_code ec;
  const auto uid = std::to_string(getuid());
  std::filesystem::path fallback = std::filesystem::temp_directory_path() / ("qvfax-runtime-" + uid);
  if (std::filesystem::is_directory("/run/user/" + uid, ec)) {
    fallback = "/run/user/" + uid;
  } else if (std::filesystem::is_directory("/dev/shm", ec)) {
    fallback = "/dev/shm/qvfax-runtime-" + uid;
  }
  return FromEnv("XDG_RUNTIME_DIR", fallback);
}

}  // namespace qvfax::xdg
