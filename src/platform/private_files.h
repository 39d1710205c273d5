// Files that hold people's faxes and call logs: readable by their owner only.
#pragma once

#include <cstdio>
#include <filesystem>

namespace qvfax {

// Creates `folder` with its missing parents, each of them mode 0700; a folder
// that already existed keeps its mode (the user chose it). False on failure.
bool MakePrivateFolder(const std::filesystem::path& folder);

// Opens `file` for appending, creating it with mode 0600; nullptr on failure.
std::FILE* OpenPrivateForAppend(const std::filesystem::path& file);

// Makes the files in `folder`, the folder itself and its entry in its parent
// reach the disk: what was written there survives a crash or a power cut.
// False when one of them could not be synced.
bool SyncFolder(const std::filesystem::path& folder);

}  // namespace qvfax
