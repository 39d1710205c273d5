// Whether a process still runs: one that has ended but not been reaped yet
// (a zombie, as under an init that does not reap) counts as gone.
#pragma once

#include <sys/types.h>

namespace qvfax {

bool ProcessRuns(pid_t pid);

}  // namespace qvfax
