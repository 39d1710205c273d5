#include "platform/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>
#include <vector>

namespace qvfax {

bool MakePrivateFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::vector<std::filesystem::path> missing;
  for (auto p = folder; !p.empty() && !std::filesystem::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  std::filesystem::create_directories(folder, ec);
  for (const auto& p : missing) ::chmod(p.c_str(), 0700);
  return std::filesystem::is_directory(folder, ec);
}

std::FILE* OpenPrivateForAppend(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, "a");
  if (!stream) ::close(fd);
  return stream;
}

namespace {

bool SyncPath(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

bool SyncFolder(const std::filesystem::path& folder) {
  bool all = true;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.is_regular_file(ec)) all = SyncPath(entry.path(), O_RDONLY) && all;
  }
  if (ec) return false;
  all = SyncPath(folder, O_RDONLY | O_DIRECTORY) && all;
  const auto parent = folder.parent_path();
  return SyncPath(parent.empty() ? "." : parent, O_RDONLY | O_DIRECTORY) && all;
}

}  // namespace qvfax
