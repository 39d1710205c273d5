#include "tiff_maker.h"

#include <filesystem>

#include "platform/xdg_paths.h"

namespace qvfax::testing {

std::string ScratchPath(const std::string& name) {
  const auto dir = xdg::StateHome() / "scratch";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

}  // namespace qvfax::testing
