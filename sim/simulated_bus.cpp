#include "sim/simulated_bus.h"

#include <algorithm>

namespace sim {

SimulatedBus::SimulatedBus(tiltdgh::MillisecondClock &clock, DghModules &modules)
    : m_clock(clock), m_modules(modules) {}

int SimulatedBus::commPort() const { return m_port; }

void SimulatedBus::setCommPort(int port) { m_port = port; }

tiltdgh::PortError SimulatedBus::open() {
  if (m_open) {
    m_lastError = QStringLiteral("the port is already open");
    return tiltdgh::PortError::PortInUse;
  }
  if (m_port < 1) {
    m_lastError = QStringLiteral("there is no port %1").arg(m_port);
    return tiltdgh::PortError::InvalidPort;
  }
  m_open = true;
  m_incoming.clear();
  m_modules.resetInput();
  m_lastError.clear();
  return tiltdgh::PortError::None;
}

void SimulatedBus::close() {
  m_open = false;
  m_incoming.clear();
}

bool SimulatedBus::portOpen() { return m_open; }

void SimulatedBus::output(const QByteArray &bytes) {
  if (!m_open)
    return;
  const quint32 now = m_clock.now();
  // A late reply to an earlier command may still be on its way.
  m_incoming.add(m_modules.receive(bytes, now));
}

void SimulatedBus::setInputLen(int count) { m_inputLen = std::max(count, 0); }

int SimulatedBus::inBufferCount() {
  if (!m_open)
    return 0;
  const quint32 now = m_clock.now();
  int count = 0;
  for (size_t i = 0; i < m_incoming.size(); ++i) {
    if (qint32(now - m_incoming.at(i).at) < 0)
      break;
    ++count;
  }
  return count;
}

QByteArray SimulatedBus::input() {
  const int waiting = inBufferCount();
  const int take = m_inputLen == 0 ? waiting : std::min(m_inputLen, waiting);
  QByteArray out;
  for (int i = 0; i < take; ++i)
    out += m_incoming.takeFront().byte;
  return out;
}

QString SimulatedBus::deviceName() const {
  return QStringLiteral("simulated DGH modules (port %1)").arg(m_port);
}

QString SimulatedBus::lastErrorText() const { return m_lastError; }

} // namespace sim
