#pragma once

#include <QtGlobal>

#include <chrono>

namespace tiltdgh {

// The millisecond clock that the exchange's wait reads: a count that wraps at 2^32.
class MillisecondClock {
public:
  virtual ~MillisecondClock() = default;
  virtual quint32 now() = 0;
  // Blocks without processing events until shortly before now() reaches `target` (wrap-safe),
  // so that the caller spins only for the last fraction of a millisecond. Returns at once when
  // that moment has passed. A fake clock may jump to `target` instead.
  virtual void sleepUntilShortlyBefore(quint32 target) = 0;
};

// The monotonic clock of the machine.
class SteadyClock final : public MillisecondClock {
public:
  SteadyClock();
  quint32 now() override;
  void sleepUntilShortlyBefore(quint32 target) override;

private:
  std::chrono::steady_clock::time_point m_start;
};

} // namespace tiltdgh
