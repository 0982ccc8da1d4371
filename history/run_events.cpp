#include "history/run_events.h"

#include "state/quantities.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <optional>

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

std::vector<NotReadSpan> notReadSpans(const std::vector<RunEvent> &events, qint64 endWall) {
  using namespace runs::event;
  constexpr int lanes = state::channelCount + 2; // the channels, the port, a waiting box
  constexpr int portLane = state::channelCount;
  constexpr int boxLane = state::channelCount + 1;
  std::array<std::optional<qint64>, lanes> openSince;
  std::vector<NotReadSpan> spans;
  const auto close = [&](int lane, qint64 at) {
    if (!openSince[size_t(lane)])
      return;
    const bool channel = lane < state::channelCount;
    spans.push_back({channel ? lane : -1, *openSince[size_t(lane)],
                     std::max(at, *openSince[size_t(lane)]),
                     channel            ? QStringLiteral("switched off by a failure")
                     : lane == portLane ? QStringLiteral("port lost")
                                        : QStringLiteral("a message waiting")});
    openSince[size_t(lane)].reset();
  };
  const auto channelOf = [](const QString &key) {
    for (const state::ChannelInfo &c : state::channels)
      if (key == QLatin1String(c.key))
        return static_cast<int>(c.channel);
    return -1;
  };
  for (const RunEvent &e : events) {
    const int channel = channelOf(e.detail);
    if (e.event == QLatin1String(channelOff) && channel >= 0) {
      if (!openSince[size_t(channel)])
        openSince[size_t(channel)] = e.wallSeconds;
    } else if ((e.event == QLatin1String(channelOn) || e.event == QLatin1String(channelBack)) &&
               channel >= 0) {
      close(channel, e.wallSeconds);
    } else if (e.event == QLatin1String(portLost)) {
      if (!openSince[portLane])
        openSince[portLane] = e.wallSeconds;
    } else if (e.event == QLatin1String(portBack)) {
      close(portLane, e.wallSeconds);
    } else if (e.event == QLatin1String(message)) {
      // Only a box that was answered waited: an unattended message never has an answer.
      if (!openSince[boxLane])
        openSince[boxLane] = e.wallSeconds;
    } else if (e.event == QLatin1String(messageAnswered)) {
      close(boxLane, e.wallSeconds);
    } else if (e.event == QLatin1String(started) || e.event == QLatin1String(resumed) ||
               e.event == QLatin1String(ended)) {
      for (int lane = 0; lane < lanes; ++lane)
        if (lane != boxLane)
          close(lane, e.wallSeconds);
      openSince[boxLane].reset();
    }
  }
  for (int lane = 0; lane < boxLane; ++lane)
    close(lane, endWall);
  return spans;
}

} // namespace history
