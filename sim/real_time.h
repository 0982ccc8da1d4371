#pragma once

namespace sim {

// Asks for prompt wake-ups and no page faults in them, where the system allows it; silently
// runs as any other process where it does not. Children started later run in the normal class.
// The one platform-dependent call of dgh-sim's timing: a port replaces real_time_posix.cpp.
void preferRealTime();

} // namespace sim
