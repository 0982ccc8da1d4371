#pragma once

#include "instrument/clock.h"
#include "instrument/serial_line.h"

#include <QByteArray>
#include <QList>

#include <deque>
#include <optional>

namespace testsupport {

// A serial line that delivers scripted bytes at scripted clock times and records what was
// written. Bytes become readable when clock.now() reaches their time (wrap-safe). It starts
// open on port 1; setOpen() flips the state without touching the script.
class ScriptedLine final : public tiltdgh::SerialLine {
public:
  explicit ScriptedLine(tiltdgh::MillisecondClock &clock) : m_clock(clock) {}

  // Bytes that arrive at clock time `at`, queued behind everything scheduled so far (a byte is
  // never readable before the ones queued ahead of it).
  void deliverAt(quint32 at, const QByteArray &bytes);
  // Queues the reply to the next command written (one per output() call), arriving `afterMs`
  // after it was written. An empty reply makes the module silent for that command.
  void answerNextCommand(const QByteArray &reply, quint32 afterMs = 10);
  // From now on the line reports `byte` waiting forever: a device that floods the line.
  void flood(char byte) { m_flood = byte; }

  void setOpen(bool open) { m_open = open; }
  // Everything written, one entry per output() call.
  const QList<QByteArray> &written() const { return m_written; }
  // The value last given to setInputLen, or nullopt if it was never called.
  std::optional<int> inputLen() const { return m_inputLen; }
  // Bytes delivered but not yet taken, whether or not their time has come.
  int bytesLeft() const { return int(m_incoming.size()); }
  int inputCalls() const { return m_inputCalls; }

  int commPort() const override { return m_port; }
  void setCommPort(int port) override { m_port = port; }
  tiltdgh::PortError open() override;
  void close() override { m_open = false; }
  bool portOpen() override { return m_open; }
  void output(const QByteArray &bytes) override;
  void setInputLen(int count) override { m_inputLen = count; }
  int inBufferCount() override;
  QByteArray input() override;

private:
  struct Timed {
    quint32 at;
    char byte;
  };

  tiltdgh::MillisecondClock &m_clock;
  std::deque<Timed> m_incoming;
  std::deque<std::pair<QByteArray, quint32>> m_answers;
  QList<QByteArray> m_written;
  std::optional<int> m_inputLen;
  std::optional<char> m_flood;
  int m_port = 1;
  int m_inputCalls = 0;
  bool m_open = true;
};

} // namespace testsupport
