#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QTimeZone>

#include <limits>
#include <vector>

// A run's alarm journal ("<log file>.alarms.csv", written beside the log while it is written)
// read back for the log window. Pure: no widgets, no global state; any bytes give marks or none,
// never a crash.
namespace history {

// One line of the journal, its time on the log's clock.
struct AlarmMark {
  // Wall-clock seconds as the log file counts them (see logging::LogRecord), in the time zone
  // the reading was asked for: the journal's UTC instant as the log's local clock showed it.
  qint64 wallSeconds = 0;
  QString quantity; // a catalogue key, or a channel key for a no-reading alarm
  QString event;    // raised, acknowledged, returned, shelved, unshelved, limits_changed,
                    // command_failed
  double value = std::numeric_limits<double>::quiet_NaN(); // NaN where the line has none
  double limit = std::numeric_limits<double>::quiet_NaN();
  QString user;

  // The quantity's name ("pH 1", "pH modules (no reading)"), as the alarm list names it, and the
  // colour it is drawn in.
  QString quantityName() const;
  QColor colour() const;
  // "pH 1 raised at 8.31 (limit 8.2)" or "pH 1 limits changed to 6.5 … 8.2".
  QString text() const;
};

struct AlarmJournal {
  bool found = false;           // there was a journal to read
  std::vector<AlarmMark> marks; // in file order
  int damagedLines = 0;         // lines that are neither the header nor a whole event
  bool truncated = false;       // the file was larger than kMaxAlarmJournalBytes: only its start
};

// A journal this large is no run's: more is not read.
inline constexpr qint64 kMaxAlarmJournalBytes = 16LL * 1024 * 1024;

// "<log file>.alarms.csv".
QString alarmJournalPath(const QString &logPath);

// The journal's lines in `bytes`, their UTC times shown on `zone`'s clock. A line with the wrong
// number of fields, a time that is not UTC ISO 8601 with "Z", an unknown quantity or event, or a
// value or limit that is no finite number is counted damaged and skipped.
AlarmJournal readAlarmJournal(const QByteArray &bytes, const QTimeZone &zone);

// The journal beside `logPath`: none (no marks, nothing damaged) when there is no such file or
// it cannot be read.
AlarmJournal readAlarmJournalFile(const QString &logPath, const QTimeZone &zone);

} // namespace history
