#include "engines/core/engine_log.h"

#include <filesystem>
#include <cstdio>

#include "platform/private_files.h"
#include "platform/xdg_paths.h"

namespace qvfax::core {

void EngineLog::Folder(const std::string& folder) { folder_ = folder; }

std::string EngineLog::Path() const {
  const std::filesystem::path folder = folder_.empty() ? xdg::StateHome() / "qvfax" : std::filesystem::path(folder_);
  return (folder / file_name_).string();
}

void EngineLog::Line(const OleDate& when, const std::string& text) { Lines(when, {text}); }

void EngineLog::Lines(const OleDate& when, const std::vector<std::string>& texts) {
  const std::string stamp = when.LogText() + " ";
  std::string all;
  for (const auto& text : texts) {
    if (recent_.size() >= 500) recent_.erase(recent_.begin(), recent_.begin() + 250);
    recent_.push_back(stamp + text);
    all += recent_.back() + "\n";
  }
  MakePrivateFolder(std::filesystem::path(Path()).parent_path());
  // A log that cannot be written must not stop a fax.
  if (std::FILE* out = OpenPrivateForAppend(Path())) {
    std::fwrite(all.data(), 1, all.size(), out);
    std::fclose(out);
  }
}

}  // namespace qvfax::core
