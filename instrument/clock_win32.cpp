// The millisecond clock on Windows: timeGetTime, at a timer resolution of 1 ms for as long as the
// program runs, so that a sleep ends within about a millisecond of its deadline (the default
// resolution is 15.6 ms, longer than a whole exchange's wait).
#include "instrument/clock.h"

#include <windows.h>

#include <timeapi.h>

namespace tiltdgh {
namespace {

class TimerResolution {
public:
  TimerResolution() { timeBeginPeriod(1); }
  ~TimerResolution() { timeEndPeriod(1); }
  TimerResolution(const TimerResolution &) = delete;
  TimerResolution &operator=(const TimerResolution &) = delete;
};

} // namespace

SteadyClock::SteadyClock() : m_start(std::chrono::steady_clock::now()) {
  static const TimerResolution resolution;
}

// Milliseconds since the system started, wrapping at 2^32 as the exchange's wait expects.
quint32 SteadyClock::now() { return quint32(timeGetTime()); }

void SteadyClock::sleepUntilShortlyBefore(quint32 target) {
  // At 1 ms resolution a Sleep overshoots by up to about 1 ms: it stops 2 ms early and the
  // caller spins the rest.
  constexpr qint32 guardMs = 2;
  const qint32 remaining = static_cast<qint32>(target - now());
  if (remaining > guardMs)
    Sleep(DWORD(remaining - guardMs));
}

} // namespace tiltdgh
