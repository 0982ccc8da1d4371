#include "history/run_events.h"

#include <QFileInfo>

#include <algorithm>

namespace history {

QString RunEvent::text() const {
  QString out = QString(event).replace(QLatin1Char('_'), QLatin1Char(' '));
  if (!detail.isEmpty())
    out += QStringLiteral(": ") + detail;
  return out;
}

QString RunHole::text() const {
  const qint64 seconds = toWall - fromWall;
  if (seconds >= 3600)
    return QStringLiteral("no record for %1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
  if (seconds >= 60)
    return QStringLiteral("no record for %1 min %2 s").arg(seconds / 60).arg(seconds % 60);
  return QStringLiteral("no record for %1 s").arg(seconds);
}

QString eventsJournalPath(const QString &logPath) { return logPath + QStringLiteral(".events.csv"); }

RunEvents readRunEvents(const QString &logPath, const QTimeZone &zone) {
  RunEvents out;
  const QString path = eventsJournalPath(logPath);
  if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
    return out;
  out.found = true;
  const runs::EventsRead read = runs::readEventsJournal(path);
  out.error = read.error;
  out.skipped = read.skipped;
  for (const runs::EventEntry &entry : read.entries) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(entry.timeMs).toTimeZone(zone);
    out.events.push_back({logging::wallSecondsOf(local.date(),
                                                 local.time().msecsSinceStartOfDay() / 1000),
                          entry.event, entry.detail, entry.user});
  }
  return out;
}

std::vector<RunHole> resumedHoles(const std::vector<RunEvent> &events,
                                  const std::vector<logging::LogRecord> &records) {
  std::vector<RunHole> holes;
  for (const RunEvent &event : events) {
    if (event.event != QLatin1String(runs::event::resumed))
      continue;
    const auto after = std::lower_bound(
        records.begin(), records.end(), event.wallSeconds,
        [](const logging::LogRecord &r, qint64 wall) { return r.wallSeconds < wall; });
    if (after == records.begin())
      continue;
    const qint64 from = std::prev(after)->wallSeconds;
    if (from < event.wallSeconds)
      holes.push_back({from, event.wallSeconds});
  }
  return holes;
}

} // namespace history
