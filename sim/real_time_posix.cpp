#include "sim/real_time.h"

#include <algorithm>
#include <sched.h>
#include <sys/mman.h>

namespace sim {

// A real module's reply is on the line however busy the host is; the simulator's must be too.
// Real-time scheduling makes its wake-ups prompt, locked memory keeps page faults out of them.
// Both are refused to ordinary users without a real-time limit: the simulator then runs as any
// other process, and writing at once keeps sound replies in time.
void preferRealTime() {
  sched_param param{};
  param.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
  sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
  mlockall(MCL_CURRENT | MCL_FUTURE);
}

} // namespace sim
