#pragma once

#include "instrument/clock.h"
#include "instrument/serial_line.h"

#include <QtGlobal>

#include <functional>

namespace e2e {

// The real line as the program uses it, counting the characters sent and taken since it was last
// opened.
class CountingLine final : public tiltdgh::SerialLine {
public:
  explicit CountingLine(tiltdgh::SerialLine &inner) : m_inner(inner) {}
  int commPort() const override { return m_inner.commPort(); }
  void setCommPort(int port) override { m_inner.setCommPort(port); }
  tiltdgh::PortError open() override;
  void close() override { m_inner.close(); }
  bool portOpen() override { return m_inner.portOpen(); }
  void output(const QByteArray &bytes) override;
  void setInputLen(int count) override { m_inner.setInputLen(count); }
  int inBufferCount() override { return m_inner.inBufferCount(); }
  QByteArray input() override;
  QString deviceName() const override { return m_inner.deviceName(); }
  QString lastErrorText() const override { return m_inner.lastErrorText(); }

  qint64 sent = 0;
  qint64 taken = 0;
  // Called after every successful open(), the counts being 0 again.
  std::function<void()> opened;

private:
  tiltdgh::SerialLine &m_inner;
};

// The machine's clock, with the exchange's waits measured on the simulator's side of the
// pseudo-terminal. The kernel hands characters across a pseudo-terminal in a worker thread of
// ordinary priority; beside processor hogs that worker can start tens of milliseconds late, in
// either direction, so a reply the simulator sent at once could reach the program after its 35 ms
// wait although both ends ran on time. A real line's characters are on the wire as they are
// sent. So a wait ends only once, besides the time having passed:
//   - the simulator has read every character the program sent,
//   - it has held the last of them for as long as the program waited, and
//   - every character it wrote until then has reached the program's side.
// The simulator's timing (a late module's reply, a silent one) keeps its meaning. Waits with no
// simulator behind the line, or one that does not answer, are the machine's alone; the extra
// wait is bounded.
class SimulatorPacedClock final : public tiltdgh::MillisecondClock {
public:
  explicit SimulatorPacedClock(CountingLine &line);
  ~SimulatorPacedClock() override; // says on standard error how often the bound was reached
  quint32 now() override { return m_clock.now(); }
  void sleepUntilShortlyBefore(quint32 target) override;

  // Waits that ended on the bound rather than on the simulator's word.
  int boundReached = 0;

private:
  void waitForTheSimulator(qint64 waitedMs);
  // Takes the simulator's counts as the start of the line's: at an opening nothing has been sent
  // yet; otherwise everything sent and written so far is taken as arrived.
  void countFromHere(bool justOpened);

  CountingLine &m_line;
  tiltdgh::SteadyClock m_clock;
  bool m_counting = false;
  qint64 m_readBefore = 0;
  qint64 m_wroteBefore = 0;
};

} // namespace e2e
