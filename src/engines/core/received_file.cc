#include "engines/core/received_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include <fmt/format.h>

namespace qvfax::core {

std::string ReceivedStamp(const OleDate& when) {
  const std::string t = when.LogText();  // dd/mm/yyyy hh.nn.ss
  return t.substr(6, 4) + t.substr(3, 2) + t.substr(0, 2) + "-" + t.substr(11, 2) + t.substr(14, 2) + t.substr(17, 2);
}

namespace {

std::string SafeForFileName(const std::string& number) {
  std::string safe;
  for (char c : number) safe.push_back(std::isalnum(static_cast<unsigned char>(c)) || c == '+' ? c : '_');
  // File names have a length limit; the number's start tells the faxes apart.
  if (safe.size() > 64) safe.resize(64);
  return safe.empty() ? "unknown" : safe;
}

}  // namespace

std::filesystem::path ReserveReceivedFile(const std::filesystem::path& inbox, const std::string& stamp,
                                          const std::string& number) {
  const std::string stem = stamp + "-" + SafeForFileName(number);
  for (int n = 1;; ++n) {
    const auto path = inbox / (n == 1 ? stem + ".tif" : fmt::format("{}-{}.tif", stem, n));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST || n > 9999) return path;
  }
}

bool IsReceivedFileFor(const std::filesystem::path& file, const std::string& number) {
  // "YYYYMMDD-HHMMSS-" then the number, then ".tif" or "-N.tif".
  const std::string name = file.filename().string();
  constexpr size_t kStamp = 16;
  const std::string safe = SafeForFileName(number);
  if (name.size() < kStamp + safe.size() + 4 || name.compare(kStamp, safe.size(), safe) != 0) return false;
  const std::string rest = name.substr(kStamp + safe.size());
  if (rest == ".tif") return true;
  return rest.size() > 5 && rest[0] == '-' && rest.compare(rest.size() - 4, 4, ".tif") == 0 &&
         rest.find_first_not_of("0123456789", 1) == rest.size() - 4;
}

}  // namespace qvfax::core
