#include "instrument/clock.h"

#include <thread>

namespace tiltdgh {

SteadyClock::SteadyClock() : m_start(std::chrono::steady_clock::now()) {}

quint32 SteadyClock::now() {
  const auto elapsed = std::chrono::steady_clock::now() - m_start;
  return static_cast<quint32>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void SteadyClock::sleepUntilShortlyBefore(quint32 target) {
  using namespace std::chrono;
  // The guard is what a sleep may overshoot by; the caller spins the rest.
  constexpr auto guard = microseconds(300);
  const auto nowPoint = steady_clock::now();
  const auto elapsedMs = duration_cast<milliseconds>(nowPoint - m_start).count();
  const qint32 remaining = static_cast<qint32>(target - static_cast<quint32>(elapsedMs));
  if (remaining <= 0)
    return;
  const auto deadline = m_start + milliseconds(elapsedMs + remaining) - guard;
  if (deadline > nowPoint)
    std::this_thread::sleep_until(deadline);
}

} // namespace tiltdgh
