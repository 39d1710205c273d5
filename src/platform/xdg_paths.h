// Where per-user files live: the XDG base directories, with their defaults.
#pragma once

#include <filesystem>

namespace qvfax::xdg {

std::filesystem::path ConfigHome();   // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path StateHome();    // $XDG_STATE_HOME or ~/.local/state
// $XDG_RUNTIME_DIR, or a private folder under the temporary directory when unset.
std::filesystem::path RuntimeDir();

}  // namespace qvfax::xdg
