#include "engines/modem/modem_log.h"

#include <filesystem>
#include <fstream>

#include "platform/xdg_paths.h"

namespace qvfax::modem {

void ModemLog::Folder(const std::string& folder) { folder_ = folder; }

std::string ModemLog::Path() const {
  const std::filesystem::path folder = folder_.empty() ? xdg::StateHome() / "qvfax" : std::filesystem::path(folder_);
  return (folder / "qvfax-modem.log").string();
}

void ModemLog::Line(const OleDate& when, const std::string& text) {
  const std::string line = when.LogText() + " " + text;
  if (recent_.size() >= 500) recent_.erase(recent_.begin(), recent_.begin() + 250);
  recent_.push_back(line);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(Path()).parent_path(), ec);
  std::ofstream out(Path(), std::ios::app);
  // A log that cannot be written must not stop a fax.
  if (out) out << line << '\n';
}

}  // namespace qvfax::modem
