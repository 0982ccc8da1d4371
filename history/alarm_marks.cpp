#include "history/alarm_marks.h"

#include "alarms/alarm_engine.h"
#include "alarms/alarm_journal.h"
#include "common/number_text.h"
#include "common/own_file.h"
#include "logging/log_items.h"
#include "logging/log_reader.h"
#include "state/quantities.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace history {
namespace {

constexpr std::array<std::string_view, 7> kEvents = {
    "raised",    "acknowledged",   "returned",      "shelved",
    "unshelved", "limits_changed", "command_failed"};

// No-reading alarms belong to no trace: drawn in white on the black chart.
constexpr std::uint32_t kChannelRgb = 0xF0F0F0;

const state::QuantityInfo *quantityOf(std::string_view key) {
  for (const state::QuantityInfo &q : state::quantities)
    if (key == q.key)
      return &q;
  return nullptr;
}

const state::ChannelInfo *channelOf(std::string_view key) {
  for (const state::ChannelInfo &c : state::channels)
    if (key == c.key)
      return &c;
  return nullptr;
}

// An empty field is no number; anything else must be a whole finite one.
bool optionalNumber(std::string_view text, double &value) {
  if (text.empty()) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return logging::items::parseNumber(text, value) && std::isfinite(value);
}

// "2026-12-09T03:12:45Z" and nothing else: a time without its zone would be a guess.
std::optional<QDateTime> utcTime(std::string_view text) {
  if (text.size() != 20 || text.back() != 'Z')
    return std::nullopt;
  QDateTime time =
      QDateTime::fromString(QString::fromLatin1(text.data(), qsizetype(text.size())), Qt::ISODate);
  if (!time.isValid() || time.timeSpec() != Qt::UTC)
    return std::nullopt;
  return time;
}

std::optional<AlarmMark> markOf(std::string_view line, const QTimeZone &zone) {
  logging::items::Item items[6];
  int count = 0;
  if (!logging::items::splitItems(line, items, 6, count) || count != 6)
    return std::nullopt;
  AlarmMark mark;
  const std::optional<QDateTime> time = utcTime(items[0].text);
  const std::string_view key = items[1].text, event = items[2].text;
  if (!time || (!quantityOf(key) && !channelOf(key)) ||
      std::find(kEvents.begin(), kEvents.end(), event) == kEvents.end() ||
      !optionalNumber(items[3].text, mark.value) || !optionalNumber(items[4].text, mark.limit))
    return std::nullopt;
  const QDateTime local = time->toTimeZone(zone);
  mark.wallSeconds =
      logging::wallSecondsOf(local.date(), local.time().msecsSinceStartOfDay() / 1000);
  mark.quantity = QString::fromLatin1(key.data(), qsizetype(key.size()));
  mark.event = QString::fromLatin1(event.data(), qsizetype(event.size()));
  mark.user = QString::fromUtf8(items[5].text.data(), qsizetype(items[5].text.size()))
                  .replace(QStringLiteral("\"\""), QStringLiteral("\""));
  return mark;
}

} // namespace

QString AlarmMark::quantityName() const {
  const std::string key = quantity.toStdString();
  if (const state::QuantityInfo *q = quantityOf(key))
    return QString::fromUtf8(q->name);
  if (const state::ChannelInfo *c = channelOf(key))
    return alarms::name(alarms::noReadingAlarm(c->channel));
  return quantity;
}

QColor AlarmMark::colour() const {
  const state::QuantityInfo *q = quantityOf(quantity.toStdString());
  return QColor::fromRgb(q ? q->traceRgb : kChannelRgb);
}

QString AlarmMark::text() const {
  const auto number = [](double v) { return common::bareNumber(v); };
  QString out = quantityName() + QLatin1Char(' ') + QString(event).replace('_', ' ');
  if (event == QLatin1String("limits_changed")) {
    const QString low = std::isnan(value) ? QStringLiteral("off") : number(value);
    const QString high = std::isnan(limit) ? QStringLiteral("off") : number(limit);
    return out + QStringLiteral(" to %1 … %2").arg(low, high);
  }
  if (!std::isnan(value))
    out += QStringLiteral(" at ") + number(value);
  if (!std::isnan(limit))
    out += QStringLiteral(" (limit %1)").arg(number(limit));
  return out;
}

QString alarmJournalPath(const QString &logPath) { return logPath + QStringLiteral(".alarms.csv"); }

AlarmJournal readAlarmJournal(const QByteArray &bytes, const QTimeZone &zone) {
  AlarmJournal journal;
  const std::string_view header =
      std::string_view(alarms::journalHeader)
          .substr(0, std::string_view(alarms::journalHeader).size() - 1);
  std::string_view rest(bytes.constData(), size_t(bytes.size()));
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (line.empty() || line == header)
      continue;
    if (std::optional<AlarmMark> mark = markOf(line, zone))
      journal.marks.push_back(std::move(*mark));
    else
      ++journal.damagedLines;
  }
  return journal;
}

AlarmJournal readAlarmJournalFile(const QString &logPath, const QTimeZone &zone) {
  // A file of our own: a link, a pipe or a device of that name is not read (a pipe would never
  // end).
  const common::OwnFileRead file =
      common::readOwnFile(alarmJournalPath(logPath), kMaxAlarmJournalBytes, true);
  if (file.missing || !file.error.isEmpty())
    return {};
  AlarmJournal journal = readAlarmJournal(file.bytes, zone);
  journal.found = true;
  journal.truncated = file.truncated;
  return journal;
}

} // namespace history
