#include "instrument/dgh_exchange.h"

#include <cmath>
#include <limits>

namespace tiltdgh {
namespace {

// The one fixed wait of an exchange: every module must have sent its whole reply by then.
constexpr float replyWaitMs = 35;

// Characters that may still arrive while the buffer is drained, beyond those already waiting
// when the drain starts. At 19200 baud a character takes about half a millisecond and the drain
// takes microseconds per character, so a sound line never comes near this; a line that never
// reports an empty buffer (a flooding device or a broken driver) ends the drain here instead of
// holding the window forever. What is left stays in the buffer for the next exchange.
constexpr qint64 drainAllowance = 256;

} // namespace

void SendCommand(DghLink &link, const QString &command) {
  if (link.line.portOpen()) {
    link.line.output(command.toLatin1());
    return;
  }
  link.messages.showMessage(QStringLiteral("Port Not open"), QStringLiteral("Port Failure"));
}

QString ReadResponse(DghLink &link) {
  QString frame;
  bool started = false;
  if (!link.line.portOpen())
    return QString();
  link.line.setInputLen(1);
  WaitMs(link.clock, replyWaitMs);

  qint64 budget = qint64(link.line.inBufferCount()) + drainAllowance;
  while (budget-- > 0 && link.line.inBufferCount() > 0) {
    const QByteArray taken = link.line.input();
    if (taken.isEmpty())
      break; // the line counted a character it could not give (it closed meanwhile)
    const QChar c = QChar::fromLatin1(char(quint8(taken.at(0)) & 0x7F));
    if (c == QLatin1Char('?') || c == QLatin1Char('*')) {
      frame = c;
      started = true;
    } else if (started) {
      frame += c;
    }
  }

  if (frame.endsWith(QLatin1Char('\r'))) {
    frame.chop(1);
    return frame;
  }
  return QStringLiteral("TIMEOUT");
}

void WaitMs(MillisecondClock &clock, float ms) {
  const quint32 start = clock.now();
  const double whole = std::floor(double(ms));
  // Nothing to wait for a negative or NaN time. A wait longer than half the clock's range
  // cannot be told apart from one in the past, so it is cut to that.
  if (!(whole > 0))
    return;
  const double maxWait = std::numeric_limits<qint32>::max();
  const quint32 wait = quint32(whole < maxWait ? whole : maxWait);
  const quint32 target = start + wait; // wraps at 2^32 like the clock

  clock.sleepUntilShortlyBefore(target);
  // The sleep stops a fraction of a millisecond early; spin the rest on the clock alone.
  while (qint32(clock.now() - target) < 0) {
  }
}

} // namespace tiltdgh
