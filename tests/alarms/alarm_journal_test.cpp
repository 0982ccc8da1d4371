#include "alarms/alarm_journal.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace alarms;

namespace {

qint64 at(const char *iso) {
  return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST(AlarmJournal, LinesAreCsvWithUtcTimesAndPointDecimals) {
  struct Row {
    JournalEntry entry;
    QByteArray line;
  };
  const Row rows[] = {
      {{at("2026-12-09T04:12:45+01:00"), "ph1", "raised", 8.31, 8.2, ""},
       "2026-12-09T03:12:45Z,ph1,raised,8.31,8.2,\n"},
      {{at("2026-12-09T03:12:45.900Z"), "flow", "acknowledged", NAN, 30, "anna"},
       "2026-12-09T03:12:45Z,flow,acknowledged,,30,anna\n"},
      {{at("2026-12-09T03:12:45Z"), "therm1", "shelved", -0.5, NAN, "Smith, \"Jo\""},
       "2026-12-09T03:12:45Z,therm1,shelved,-0.5,,\"Smith, \"\"Jo\"\"\"\n"},
  };
  for (const Row &row : rows)
    EXPECT_EQ(journalLine(row.entry), row.line);
}

TEST(AlarmJournal, HeaderOnceThenEveryLineInTheStandingAndTheRunJournal) {
  QTemporaryDir dir;
  const QString standing = dir.filePath("state/brellis/alarms.csv");
  const QString log = dir.filePath("run.csv");
  std::vector<QString> failures;
  {
    AlarmJournal journal(standing, [&](const QString &m) { failures.push_back(m); });
    journal.append({0, "ph1", "raised", 9, 8, ""});
    journal.setLogFile(log);
    EXPECT_EQ(journal.runJournalPath(), log + ".alarms.csv");
    journal.append({1000, "ph1", "returned", 7, 8, ""});
    journal.setLogFile({});
    journal.append({2000, "ph1", "acknowledged", 7, 8, "op"});
  }
  AlarmJournal again(standing);
  again.append({3000, "ph", "raised", 5, 5, ""});
  EXPECT_EQ(contents(standing), "time,quantity,event,value,limit,user\n"
                                "1970-01-01T00:00:00Z,ph1,raised,9,8,\n"
                                "1970-01-01T00:00:01Z,ph1,returned,7,8,\n"
                                "1970-01-01T00:00:02Z,ph1,acknowledged,7,8,op\n"
                                "1970-01-01T00:00:03Z,ph,raised,5,5,\n");
  EXPECT_EQ(contents(log + ".alarms.csv"), "time,quantity,event,value,limit,user\n"
                                           "1970-01-01T00:00:01Z,ph1,returned,7,8,\n");
  EXPECT_TRUE(failures.empty());
}

TEST(AlarmJournal, UnwritableJournalIsReportedOnceAndTheRunJournalGoesOn) {
  QTemporaryDir dir;
  const QString blocker = dir.filePath("not-a-folder");
  QFile file(blocker);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  std::vector<QString> failures;
  AlarmJournal journal(blocker + "/alarms.csv", [&](const QString &m) { failures.push_back(m); });
  journal.setLogFile(dir.filePath("run.csv"));
  journal.append({0, "ph1", "raised", 9, 8, ""});
  journal.append({1000, "ph1", "returned", 7, 8, ""});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(failures[0].contains(QDir::toNativeSeparators(blocker + "/alarms.csv")))
      << failures[0].toStdString();
  EXPECT_EQ(contents(dir.filePath("run.csv.alarms.csv")).count('\n'), 3);
}

#ifndef _WIN32
// A process killed while it journals as fast as it can leaves only whole lines.
TEST(AlarmJournal, KilledWriterLeavesEveryLineWhole) {
  QTemporaryDir dir;
  const QString path = dir.filePath("alarms.csv");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    AlarmJournal journal(path);
    for (qint64 i = 0;; ++i)
      journal.append({i * 1000, "therm3", "raised", 20.0 + i * 0.001, 25.5, "a user name"});
  }
  while (contents(path).count('\n') < 2000)
    ::usleep(1000);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  const QList<QByteArray> lines = contents(path).split('\n');
  EXPECT_TRUE(lines.last().isEmpty()) << "a line cut short: " << lines.last().toStdString();
  for (qsizetype i = 1; i + 1 < lines.size(); ++i)
    ASSERT_TRUE(lines[i].startsWith("19") && lines[i].endsWith(",25.5,a user name"))
        << lines[i].toStdString();
}

#endif

} // namespace
