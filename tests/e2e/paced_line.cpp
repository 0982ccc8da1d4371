#include "tests/e2e/paced_line.h"

#include "tests/e2e/dgh_sim_process.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cstdio>

namespace e2e {

namespace {

// Far beyond any lateness of the kernel's worker seen beside hogs (tens of milliseconds), and
// short enough that a count that never matches costs little.
constexpr int extraWaitBoundMs = 500;

} // namespace

tiltdgh::PortError CountingLine::open() {
  const tiltdgh::PortError error = m_inner.open();
  if (error == tiltdgh::PortError::None) {
    sent = taken = 0;
    if (opened)
      opened();
  }
  return error;
}

void CountingLine::output(const QByteArray &bytes) {
  m_inner.output(bytes);
  sent += bytes.size();
}

QByteArray CountingLine::input() {
  const QByteArray bytes = m_inner.input();
  taken += bytes.size();
  return bytes;
}

SimulatorPacedClock::SimulatorPacedClock(CountingLine &line) : m_line(line) {
  m_line.opened = [this] { countFromHere(true); };
}

SimulatorPacedClock::~SimulatorPacedClock() {
  m_line.opened = nullptr;
  if (boundReached > 0)
    std::fprintf(stderr, "simulator-paced clock: %d waits ended on the %d ms bound\n",
                 boundReached, extraWaitBoundMs);
}

void SimulatorPacedClock::countFromHere(bool justOpened) {
  m_counting = false;
  DghSimProcess *sim = DghSimProcess::serving(m_line.deviceName());
  const auto counts = sim ? sim->lineCounts() : std::nullopt;
  if (!counts)
    return;
  m_readBefore = counts->read - (justOpened ? 0 : m_line.sent);
  m_wroteBefore = counts->wrote - (justOpened ? 0 : m_line.taken + m_line.inBufferCount());
  m_counting = true;
}

void SimulatorPacedClock::sleepUntilShortlyBefore(quint32 target) {
  const qint64 waitedMs = qint32(target - m_clock.now());
  m_clock.sleepUntilShortlyBefore(target);
  if (waitedMs > 0 && m_counting && m_line.portOpen())
    waitForTheSimulator(waitedMs);
}

void SimulatorPacedClock::waitForTheSimulator(qint64 waitedMs) {
  DghSimProcess *sim = DghSimProcess::serving(m_line.deviceName());
  if (!sim)
    return;
  const QDeadlineTimer bound(extraWaitBoundMs);
  for (;;) {
    const auto counts = sim->lineCounts();
    if (!counts || !m_line.portOpen())
      return;
    const bool allRead = counts->read - m_readBefore >= m_line.sent;
    const bool heldLongEnough = counts->quietMs < 0 || counts->quietMs + 1 >= waitedMs;
    const bool allArrived =
        counts->wrote - m_wroteBefore <= m_line.taken + m_line.inBufferCount();
    if (allRead && heldLongEnough && allArrived)
      return;
    if (bound.hasExpired()) {
      ++boundReached;
      countFromHere(false);
      return;
    }
    QThread::usleep(500);
  }
}

} // namespace e2e
