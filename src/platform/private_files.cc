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

}  // namespace qvfax
