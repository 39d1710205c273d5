// Raising the server process's scheduling priority.
#pragma once

#include <cstdint>

namespace qvfax {

inline constexpr int32_t kRealtimePriorityClass = 256;

// Asks for the highest priority the system grants this process; never a
// real-time scheduling class. Failures are ignored.
void SetProcessPriority(int32_t priority_class);

}  // namespace qvfax
