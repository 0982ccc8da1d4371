#include "tests/support/scripted_line.h"

namespace testsupport {

void ScriptedLine::deliverAt(quint32 at, const QByteArray &bytes) {
  for (char b : bytes)
    m_incoming.push_back({at, b});
}

void ScriptedLine::answerNextCommand(const QByteArray &reply, quint32 afterMs) {
  m_answers.emplace_back(reply, afterMs);
}

tiltdgh::PortError ScriptedLine::open() {
  if (m_open)
    return tiltdgh::PortError::PortInUse;
  if (m_port < 1)
    return tiltdgh::PortError::InvalidPort;
  m_open = true;
  return tiltdgh::PortError::None;
}

void ScriptedLine::output(const QByteArray &bytes) {
  m_written.append(bytes);
  if (m_answers.empty())
    return;
  const auto [reply, afterMs] = m_answers.front();
  m_answers.pop_front();
  deliverAt(m_clock.now() + afterMs, reply);
}

int ScriptedLine::inBufferCount() {
  if (!m_open)
    return 0;
  if (m_flood)
    return 1;
  const quint32 now = m_clock.now();
  int count = 0;
  for (const Timed &t : m_incoming) {
    if (qint32(now - t.at) < 0)
      break;
    ++count;
  }
  return count;
}

QByteArray ScriptedLine::input() {
  ++m_inputCalls;
  if (m_flood)
    return QByteArray(m_inputLen.value_or(0) > 0 ? *m_inputLen : 1, *m_flood);
  const int waiting = inBufferCount();
  const int len = m_inputLen.value_or(0);
  const int take = len > 0 && len < waiting ? len : waiting;
  QByteArray out;
  for (int i = 0; i < take; ++i) {
    out += m_incoming.front().byte;
    m_incoming.pop_front();
  }
  return out;
}

} // namespace testsupport
