// A status document left by a server that stopped in the middle of its work
// (killed, or its machine went down) still says that work is going on. At
// start the daemon publishes it again as idle, so nobody waits for a fax
// that no process is sending.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qvfax {

// The document with its activity idle and nothing left to cancel, or
// nothing when `xml` shows no work, is not a status document, or names in
// "ProcessId" a process that `alive` says still runs.
std::optional<std::string> IdleStatusOf(const std::string& xml, const std::function<bool(int pid)>& alive);

}  // namespace qvfax
