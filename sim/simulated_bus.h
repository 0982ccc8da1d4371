#pragma once

#include "instrument/clock.h"
#include "instrument/serial_line.h"
#include "sim/dgh_modules.h"
#include "sim/line_queue.h"

namespace sim {

// The simulated modules behind an in-process serial line. A reply's characters become readable
// only when the clock reaches the time they would have arrived at 19200 baud, so an exchange on
// the machine's clock really waits for them, and on a fake clock the same exchange runs at once.
// Every port number from 1 up reaches the same modules. Opening and closing empties the receive
// buffer, as the real line does.
class SimulatedBus final : public tiltdgh::SerialLine {
public:
  SimulatedBus(tiltdgh::MillisecondClock &clock, DghModules &modules);

  int commPort() const override;
  void setCommPort(int port) override;
  tiltdgh::PortError open() override;
  void close() override;
  bool portOpen() override;

  void output(const QByteArray &bytes) override;
  void setInputLen(int count) override;
  int inBufferCount() override;
  QByteArray input() override;

  QString deviceName() const override;
  QString lastErrorText() const override;

private:
  tiltdgh::MillisecondClock &m_clock;
  DghModules &m_modules;
  LineQueue m_incoming; // in order of arrival
  int m_port = 1;
  int m_inputLen = 0;
  bool m_open = false;
  QString m_lastError;
};

} // namespace sim
