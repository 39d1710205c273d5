#include "port/process_priority.h"

#include <sys/resource.h>

namespace qvfax {

void SetProcessPriority(int32_t priority_class) {
  if (priority_class < kRealtimePriorityClass) return;
  // -20 needs CAP_SYS_NICE; otherwise RLIMIT_NICE says how far we may go.
  if (setpriority(PRIO_PROCESS, 0, -20) == 0) return;
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur > 0) {
    const int floor = 20 - static_cast<int>(limit.rlim_cur);
    (void)setpriority(PRIO_PROCESS, 0, floor);
  }
}

}  // namespace qvfax
