// ReadResponse fed any byte stream through a scripted line on a fake clock, and compared with a
// plain statement of the framing rule: the reply is the last frame started by "*" or "?" (bit 7
// cleared) when the last byte that arrived in time is a carriage return, else "TIMEOUT".
//
// Input: byte 0 holds flags (bit 0: port closed; bit 1: the clock starts just before it wraps;
// bit 2: the line floods after the payload), byte 1 how many payload bytes arrive inside the
// first exchange's wait; the rest is the payload. The bytes that arrive late are the second
// exchange's.

#include "fuzz/fuzz_check.h"
#include "instrument/dgh_exchange.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

QString expectedReply(const QByteArray &arrived) {
  qsizetype start = -1;
  for (qsizetype i = 0; i < arrived.size(); ++i) {
    const char c = char(quint8(arrived.at(i)) & 0x7F);
    if (c == '*' || c == '?')
      start = i;
  }
  if (start < 0 || (quint8(arrived.back()) & 0x7F) != '\r')
    return QStringLiteral("TIMEOUT");
  QString frame;
  for (qsizetype i = start; i < arrived.size() - 1; ++i)
    frame += QChar::fromLatin1(char(quint8(arrived.at(i)) & 0x7F));
  return frame;
}

// What any reply of an open port must look like, whatever arrived.
void checkShape(const QString &reply, qsizetype arrivedCount) {
  if (reply == QLatin1String("TIMEOUT"))
    return;
  FUZZ_CHECK(!reply.isEmpty());
  FUZZ_CHECK(reply.at(0) == QLatin1Char('*') || reply.at(0) == QLatin1Char('?'));
  FUZZ_CHECK(reply.size() < arrivedCount || arrivedCount < 0);
  for (qsizetype i = 0; i < reply.size(); ++i) {
    FUZZ_CHECK(reply.at(i).unicode() < 0x80);
    if (i > 0)
      FUZZ_CHECK(reply.at(i) != QLatin1Char('*') && reply.at(i) != QLatin1Char('?'));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  const uint8_t flags = data[0];
  const QByteArray payload(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
  const qsizetype inTime = payload.isEmpty() ? 0 : data[1] % (payload.size() + 1);
  const QByteArray early = payload.left(inTime);
  const QByteArray late = payload.mid(inTime);
  const bool closed = flags & 1;
  const bool flood = flags & 4;

  const quint32 start = (flags & 2) ? 0xFFFFFFF0u : 1000u;
  testsupport::FakeClock clock(start);
  testsupport::ScriptedLine line(clock);
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  line.setOpen(!closed);
  line.deliverAt(start + 5, early); // inside the first 35 ms wait
  line.deliverAt(start + 50, late); // after it, inside the second
  if (flood)
    line.flood(char(data[1]));

  tiltdgh::SendCommand(link, QStringLiteral("$6RD\r"));
  const QString first = tiltdgh::ReadResponse(link);
  tiltdgh::SendCommand(link, QStringLiteral("$7RD\r"));
  const QString second = tiltdgh::ReadResponse(link);

  if (closed) {
    FUZZ_CHECK(first.isEmpty() && second.isEmpty());
    FUZZ_CHECK(messages.shown.size() == 2);
    FUZZ_CHECK(line.written().isEmpty());
    FUZZ_CHECK(clock.peek() == start); // no wait on a closed port
    return 0;
  }
  FUZZ_CHECK(messages.shown.empty());
  FUZZ_CHECK(line.written().size() == 2);
  if (flood) {
    // A line that never runs dry still ends each drain; only the shape can be checked.
    checkShape(first, -1);
    checkShape(second, -1);
    return 0;
  }
  FUZZ_CHECK(first == expectedReply(early));
  FUZZ_CHECK(second == expectedReply(late));
  checkShape(first, early.size());
  checkShape(second, late.size());
  FUZZ_CHECK(line.bytesLeft() == 0);
  return 0;
}
