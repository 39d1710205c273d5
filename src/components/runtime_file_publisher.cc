#include "components/runtime_file_publisher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "components/publication_board.h"
#include "platform/automation_error.h"

namespace qvfax {

namespace {
[[noreturn]] void RaiseIo(const std::string& what, const std::string& path) {
  throw AutomationError(75, kTextPublisherClass,
                        fmt::format("{} {}: {}", what, path, std::strerror(errno)));
}
}  // namespace

RuntimeFilePublisher::RuntimeFilePublisher(std::filesystem::path folder)
    : folder_(std::move(folder)) {}

void RuntimeFilePublisher::Open(const std::string& name) {
  // Folders created here are private from the start: mkdir 0700 each level.
  std::filesystem::path partial;
  for (const auto& part : folder_) {
    partial /= part;
    ::mkdir(partial.c_str(), 0700);
  }
  // The folder may sit in a shared place: only a real folder of our own will do.
  struct stat info {};
  if (::lstat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    throw AutomationError(75, kTextPublisherClass,
                          fmt::format("{} is not a folder owned by this user", folder_.string()));
  }
  ::chmod(folder_.c_str(), 0700);
  name_ = name;
  path_ = (folder_ / name).string();
  // One temporary per publisher and process, so two writers never share it.
  temp_path_ = fmt::format("{}.{}.{}.tmp", path_, ::getpid(), static_cast<const void*>(this));
}

void RuntimeFilePublisher::Publish(const std::string& text) {
  if (name_.empty()) RaiseObjectNotSet();
  // A status polled every second is mostly published unchanged: the file
  // already says it, so only the followers hear it again.
  struct stat current {};
  if (text == written_ && ::stat(path_.c_str(), &current) == 0 && static_cast<size_t>(current.st_size) == text.size()) {
    publication_board::Announce(name_, text);
    return;
  }
  written_.clear();
  const int fd = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) RaiseIo("cannot write", temp_path_);
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      RaiseIo("cannot write", temp_path_);
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  ::close(fd);
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) RaiseIo("cannot replace", path_);
  written_ = text;
  publication_board::Announce(name_, text);
}

}  // namespace qvfax
