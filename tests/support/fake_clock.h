#pragma once

#include "instrument/clock.h"

namespace testsupport {

// A millisecond clock that moves only when told to. sleepUntilShortlyBefore jumps straight to the
// target (or `shortfall` ms before it, to make the caller's spin do the rest), so a 35 ms wait
// costs no real time. Each now() may advance the clock by `stepPerRead` ms after answering.
class FakeClock final : public tiltdgh::MillisecondClock {
public:
  explicit FakeClock(quint32 start = 0) : m_now(start) {}

  quint32 now() override {
    const quint32 t = m_now;
    m_now += m_stepPerRead;
    ++m_reads;
    return t;
  }
  void sleepUntilShortlyBefore(quint32 target) override {
    ++m_sleeps;
    const quint32 wake = target - m_shortfall;
    if (qint32(wake - m_now) > 0)
      m_now = wake;
  }

  // The time now, without counting as a read.
  quint32 peek() const { return m_now; }
  void set(quint32 t) { m_now = t; }
  void advance(quint32 ms) { m_now += ms; }
  void setShortfall(quint32 ms) { m_shortfall = ms; }
  void setStepPerRead(quint32 ms) { m_stepPerRead = ms; }
  int sleeps() const { return m_sleeps; }
  int reads() const { return m_reads; }

private:
  quint32 m_now;
  quint32 m_shortfall = 0;
  quint32 m_stepPerRead = 0;
  int m_sleeps = 0;
  int m_reads = 0;
};

} // namespace testsupport
