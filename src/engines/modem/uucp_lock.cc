#include "engines/modem/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace qvfax::modem {

namespace {

// The PID a lock file names: ten-character text (HDB form), or a binary int
// as very old programs wrote it; 0 when unreadable.
pid_t LockOwner(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.size() == sizeof(int) && text.find('\n') == std::string::npos) {
    int binary = 0;
    std::memcpy(&binary, text.data(), sizeof binary);
    return binary;
  }
  return static_cast<pid_t>(std::strtol(text.c_str(), nullptr, 10));
}

bool Alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

UucpLock::~UucpLock() { Release(); }

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

std::string UucpLock::PathFor(const std::string& folder, const std::string& device) {
  return (std::filesystem::path(folder) / ("LCK.." + std::filesystem::path(device).filename().string())).string();
}

pid_t UucpLock::Acquire(const std::string& folder, const std::string& device, std::string& error) {
  Release();
  const std::string path = PathFor(folder, device);
  // Written aside and linked into place, so no reader ever sees half a lock.
  const std::string temp = path + ".qvfax." + std::to_string(::getpid());
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = path + ": " + std::strerror(errno);
      return -1;
    }
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, static_cast<size_t>(n)) == n;
    ::close(fd);
    if (!written) {
      ::unlink(temp.c_str());
      error = path + ": cannot be written";
      return -1;
    }
    const int linked = ::link(temp.c_str(), path.c_str());
    const int link_errno = errno;
    ::unlink(temp.c_str());
    if (linked == 0) {
      path_ = path;
      return 0;
    }
    if (link_errno != EEXIST) {
      error = path + ": " + std::strerror(link_errno);
      return -1;
    }
    const pid_t owner = LockOwner(path);
    if (owner == ::getpid()) {
      error = path + ": already held by this process";
      return owner;
    }
    if (Alive(owner)) return owner;
    ::unlink(path.c_str());  // stale: its owner is gone
  }
  error = path + ": cannot be taken";
  return -1;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace qvfax::modem
