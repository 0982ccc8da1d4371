#include "alarms/alarm_journal.h"
#include "history/alarm_marks.h"
#include "logging/log_reader.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>

namespace {

qint64 wall(int y, int mo, int d, int h, int mi, int s) {
  return logging::wallSecondsOf(QDate(y, mo, d), h * 3600 + mi * 60 + s);
}

// A journal as the alarms write it, with the lines a damaged or hand-edited one may hold. Times
// are read on Berlin's clock: an hour ahead of UTC in winter, two in summer.
TEST(AlarmJournalReader, ReadsWholeLinesOnTheLogsClockAndSkipsTheRest) {
  const struct {
    const char *line;
    bool whole;
    qint64 wallSeconds;
    const char *text;
    const char *user;
  } cases[] = {
      {"2026-12-09T03:12:45Z,ph1,raised,8.31,8.2,", true, wall(2026, 12, 9, 4, 12, 45),
       "pH 1 raised at 8.31 (limit 8.2)", ""},
      {"2026-07-01T22:30:00Z,ph1,returned,8.1,8.2,lab\r", true, wall(2026, 7, 2, 0, 30, 0),
       "pH 1 returned at 8.1 (limit 8.2)", "lab"},
      {"2026-12-09T03:13:00Z,therm,raised,,,", true, wall(2026, 12, 9, 4, 13, 0),
       "Thermistor modules (no reading) raised", ""},
      {"2026-12-09T03:14:00Z,flow_L_per_min,limits_changed,0.2,,\"lab, \"\"night\"\"\"", true,
       wall(2026, 12, 9, 4, 14, 0), "Flow limits changed to 0.2 … off", "lab, \"night\""},
      {"2026-12-09T03:15:00Z,ph,command_failed,,,", true, wall(2026, 12, 9, 4, 15, 0),
       "pH modules (no reading) command failed", ""},
      {"time,quantity,event,value,limit,user", false, 0, nullptr, nullptr}, // the header
      {"", false, 0, nullptr, nullptr},
      {"2026-12-09T03:12:45,ph1,raised,8.31,8.2,", false, 0, "", nullptr},       // no zone
      {"2026-12-09T04:12:45+01:00,ph1,raised,8.31,8.2,", false, 0, "", nullptr}, // not UTC
      {"2026-02-30T03:12:45Z,ph1,raised,8.31,8.2,", false, 0, "", nullptr},      // no such day
      {"2026-12-09T03:12:45Z,ph9,raised,8.31,8.2,", false, 0, "", nullptr},      // no quantity
      {"2026-12-09T03:12:45Z,ph1,exploded,8.31,8.2,", false, 0, "", nullptr},    // no event
      {"2026-12-09T03:12:45Z,ph1,raised,8,31,8.2,", false, 0, "", nullptr},      // 7 fields
      {"2026-12-09T03:12:45Z,ph1,raised,8.31,8.2", false, 0, "", nullptr},       // 5 fields
      {"2026-12-09T03:12:45Z,ph1,raised,nan,8.2,", false, 0, "", nullptr},       // not finite
      {"2026-12-09T03:12:45Z,ph1,raised,8.31x,8.2,", false, 0, "", nullptr},     // no number
      {"2026-12-09T03:12:45Z,ph1,raised,8.31,8.2,\"lab", false, 0, "", nullptr}, // quote open
      {"\x01\x02\xff,,,,,", false, 0, "", nullptr},
      {"\xfe\xff garbage", false, 0, "", nullptr},
  };
  const QTimeZone berlin("Europe/Berlin");
  ASSERT_TRUE(berlin.isValid());
  for (const auto &c : cases) {
    SCOPED_TRACE(c.line);
    const history::AlarmJournal journal = history::readAlarmJournal(c.line, berlin);
    ASSERT_EQ(journal.marks.size(), c.whole ? 1u : 0u);
    // The header and blank lines are no damage; every other line that is no event is.
    EXPECT_EQ(journal.damagedLines, !c.whole && c.text ? 1 : 0);
    if (!c.whole)
      continue;
    const history::AlarmMark &mark = journal.marks[0];
    EXPECT_EQ(mark.wallSeconds, c.wallSeconds);
    EXPECT_EQ(mark.text().toStdString(), c.text);
    EXPECT_EQ(mark.user.toStdString(), c.user);
  }

  // Together, in one file: the whole lines in order, the damaged ones counted.
  QByteArray all;
  for (const auto &c : cases)
    all += QByteArray(c.line) + '\n';
  const history::AlarmJournal journal = history::readAlarmJournal(all, berlin);
  EXPECT_EQ(journal.marks.size(), 5u);
  EXPECT_EQ(journal.damagedLines, 12);

  // What the alarms write reads back whole.
  alarms::JournalEntry entry;
  entry.timeMs =
      QDateTime(QDate(2026, 12, 9), QTime(3, 12, 45, 250), QTimeZone::utc()).toMSecsSinceEpoch();
  entry.quantity = "therm1", entry.event = "shelved", entry.value = -0.5;
  entry.user = "Smith, \"Jo\"";
  const history::AlarmJournal written = history::readAlarmJournal(
      QByteArray(alarms::journalHeader) + alarms::journalLine(entry), berlin);
  ASSERT_EQ(written.marks.size(), 1u);
  EXPECT_EQ(written.damagedLines, 0);
  EXPECT_EQ(written.marks[0].wallSeconds, wall(2026, 12, 9, 4, 12, 45));
  EXPECT_EQ(written.marks[0].text().toStdString(), "Thermistor 1 shelved at -0.5");
  EXPECT_EQ(written.marks[0].user.toStdString(), "Smith, \"Jo\"");

  // A log without a journal beside it has none; a folder in its place is none either.
  QTemporaryDir dir;
  EXPECT_FALSE(history::readAlarmJournalFile(dir.filePath("run.csv"), berlin).found);
  ASSERT_TRUE(QDir(dir.path()).mkdir("run.csv.alarms.csv"));
  EXPECT_FALSE(history::readAlarmJournalFile(dir.filePath("run.csv"), berlin).found);
}

} // namespace
