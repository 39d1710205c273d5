// What a send that was killed leaves behind: the assembled document, named
// ".sending-<pid>-…" in the engine's folder. A bank removes those of
// processes that no longer run when it starts.
#pragma once

#include <filesystem>

namespace qvfax::core {

// Returns how many files were removed.
int RemoveLeftoverSends(const std::filesystem::path& folder);

}  // namespace qvfax::core
