// Where per-user files live: the XDG base directories, with their defaults.
#pragma once

#include <filesystem>

namespace qvfax::xdg {

std::filesystem::path ConfigHome();   // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path StateHome();    // $XDG_STATE_HOME or ~/.local/state
// $XDG_RUNTIME_DIR; when unset /run/user/<uid>, else a private folder in
// /dev/shm, else in the temporary directory.
std::filesystem::path RuntimeDir();

}  // namespace qvfax::xdg
