// The calibration history on its own: the chain, the checks, and what survives a kill.
#include "calibration/calibration_history.h"
#include "calibration/probe_care.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <functional>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace calibration;

namespace {

CalibrationRecord recordOf(int probe, double slope) {
  CalibrationRecord r;
  r.time = QDateTime(QDate(2026, 12, 9), QTime(3, 12, 45), QTimeZone::utc());
  r.user = QStringLiteral("lab");
  r.host = QStringLiteral("bench");
  r.probe = probe;
  r.before = {2.5777, 4.5427, QStringLiteral("180312"), QDate(2001, 1, 1)};
  r.after = {2.5801, slope, QStringLiteral("180312"), QDate(2026, 12, 9)};
  return r;
}

class History : public ::testing::Test {
protected:
  QString path() const { return m_dir.filePath(QStringLiteral("h/calibration-history.jsonl")); }

  void appendFour() {
    for (int i = 0; i < 4; ++i)
      ASSERT_EQ(appendRecord(path(), recordOf(1 + i % 2, 4.50 + i / 100.0)), QString());
  }
  QList<QByteArray> lines() const {
    QFile file(path());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> result = file.readAll().split('\n');
    result.removeLast(); // after the last newline
    return result;
  }
  void write(const QList<QByteArray> &lines, bool lastNewline = true) const {
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join('\n') + (lastNewline ? "\n" : ""));
  }

  QTemporaryDir m_dir;
};

TEST_F(History, EachKindOfTamperingIsFoundAtItsRecordWithTheCheckThatFailed) {
  using Tamper = void (*)(QList<QByteArray> &);
  struct Case {
    const char *name;
    Tamper tamper;
    bool lastNewline;
    const char *summary;
  };
  const Case cases[] = {
      {"untouched", [](QList<QByteArray> &) {}, true, "history intact (4 records)"},
      {"value changed",
       [](QList<QByteArray> &l) { l[1].replace("\"slope\":4.51", "\"slope\":4.61"); }, true,
       "history altered at record 2: its content does not match its hash"},
      {"record deleted", [](QList<QByteArray> &l) { l.removeAt(1); }, true,
       "history altered at record 2: it does not follow record 1"},
      {"two records swapped", [](QList<QByteArray> &l) { l.swapItemsAt(1, 2); }, true,
       "history altered at record 2: it does not follow record 1"},
      {"record inserted", [](QList<QByteArray> &l) { l.insert(2, l[0]); }, true,
       "history altered at record 3: it does not follow record 2"},
      {"last record cut short", [](QList<QByteArray> &l) { l[3].truncate(l[3].size() / 2); }, false,
       "history altered at record 4: it is not a whole calibration record"},
      {"last record removed", [](QList<QByteArray> &l) { l.removeLast(); }, true,
       "history altered: 1 records missing"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QDir(m_dir.path()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(m_dir.path()));
    appendFour();
    QList<QByteArray> l = lines();
    ASSERT_EQ(l.size(), 4);
    c.tamper(l);
    write(l, c.lastNewline);
    EXPECT_TRUE(readHistory(path()).summary().startsWith(QLatin1String(c.summary)))
        << readHistory(path()).summary().toStdString();
  }
}

// The head vouches for the records written: without the history, or with a head that does not
// read, the check cannot say intact.
TEST_F(History, AHeadThatNamesRecordsOrDoesNotReadIsNeverIntact) {
  const QString head = historyHeadPath(path());
  const struct {
    const char *name;
    std::function<void()> damage;
    QString summary;
  } cases[] = {
      {"history removed", [&] { QFile::remove(path()); }, "history altered: 4 records missing"},
      {"history emptied", [&] { write({}, false); }, "history altered: 4 records missing"},
      {"head of no records",
       [&] {
         QFile file(head);
         ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
         file.write("0 x\n");
       },
       "history altered at record 4: the file " + head + " is damaged"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    QDir(m_dir.path()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(m_dir.path()));
    appendFour();
    c.damage();
    EXPECT_EQ(checkHistory(path()).summary(), c.summary);
    EXPECT_EQ(readHistory(path()).summary(), c.summary);
  }
}

TEST_F(History, ADamagedHistoryIsKeptAndTheNextRecordsStartOneNewSegment) {
  appendFour();
  QList<QByteArray> l = lines();
  l[1] = "not json";
  write(l);
  ASSERT_EQ(appendRecord(path(), recordOf(1, 4.4)), QString());
  ASSERT_EQ(appendRecord(path(), recordOf(2, 4.3)), QString());

  const HistoryReport report = readHistory(path());
  EXPECT_EQ(report.lines, 6);
  EXPECT_EQ(report.records.size(), 5u);
  EXPECT_EQ(lines()[1], "not json");
  EXPECT_EQ(report.summary().toStdString(),
            "history altered at record 2: it is not a whole calibration record");
  // Record 3 cannot be linked to a broken line; only the damage itself is reported.
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.records[3].record.followsDamage.toStdString(),
            "record 2: it is not a whole calibration record");
  EXPECT_TRUE(report.records[4].record.followsDamage.isEmpty());
  EXPECT_EQ(report.records[4].record.previousHash, report.records[3].record.hash);
}

TEST_F(History, AHistoryThatIsAFolderIsSaidAndNothingIsWritten) {
  ASSERT_TRUE(QDir().mkpath(path()));
  EXPECT_EQ(readHistory(path()).summary(),
            "history cannot be read: " + path() + " is a folder, not a regular file");
  EXPECT_EQ(appendRecord(path(), recordOf(1, 4.5)), path() + " is a folder, not a regular file");
}

TEST_F(History, AProgramKilledRightAfterTheAppendLeavesTheWholeRecord) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = appendRecord(path(), recordOf(2, 4.48)).isEmpty();
    const char byte = ok ? '1' : '0';
    (void)!::write(ready[1], &byte, 1);
    for (;;)
      pause();
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(byte, '1');

  const HistoryReport report = readHistory(path());
  EXPECT_EQ(report.summary(), "history intact (1 records)");
  ASSERT_EQ(report.records.size(), 1u);
  EXPECT_EQ(report.records[0].record.after, recordOf(2, 4.48).after);
  EXPECT_EQ(report.records[0].record.before, recordOf(2, 4.48).before);
}

} // namespace

namespace {

TEST(CalibrationDue, DueExactlyOnceTheDateIsOlderThanTheInterval) {
  const QDate calibrated(2026, 12, 1);
  const struct {
    int days;
    QDate today;
    bool due;
  } cases[] = {
      {7, QDate(2026, 12, 8), false}, {7, QDate(2026, 12, 9), true}, {1, QDate(2026, 12, 2), false},
      {1, QDate(2026, 12, 3), true},  {0, QDate(2030, 1, 1), false}, {7, QDate(2026, 11, 1), false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(isCalibrationDue(calibrated, c.days, c.today), c.due)
        << c.days << " days on " << c.today.toString(Qt::ISODate).toStdString();
}

} // namespace

namespace {

TEST_F(History, ARunIsMatchedToTheNewestRecordThatWroteItsValuesBeforeItBegan) {
  // Records 1 and 3 write slope 4.5 on probe 1, record 2 slope 4.51 on probe 2, record 4 a later
  // 4.5 on probe 1 made after the run began.
  const double slopes[] = {4.5, 4.51, 4.5, 4.5};
  const int probes[] = {1, 2, 1, 1};
  for (int i = 0; i < 4; ++i) {
    CalibrationRecord r = recordOf(probes[i], slopes[i]);
    r.time = r.time.addSecs(3600 * i);
    ASSERT_EQ(appendRecord(path(), r), QString());
  }
  const HistoryReport report = readHistory(path());
  const QDateTime start = recordOf(1, 0).time.addSecs(3 * 3600 - 1);
  const struct {
    RunCalibration run;
    int record; // 0: none
  } cases[] = {
      {{1, "180312", 2.5801, 4.5, start}, 3},
      {{2, "180312", 2.5801, 4.51, start}, 2},
      {{1, "180312", 2.5801, 4.51, start}, 0},
      {{1, "180313", 2.5801, 4.5, start}, 0},
      {{1, "180312", 2.58, 4.5, start}, 0},
      {{1, "180312", 2.5801, 4.5, recordOf(1, 0).time.addSecs(-1)}, 0},
  };
  for (const auto &c : cases) {
    const NumberedRecord *match = recordInForce(report, c.run);
    EXPECT_EQ(match ? match->number : 0, c.record)
        << c.run.probe << " " << c.run.slope << " " << c.run.offset;
  }
  EXPECT_EQ(recordInForceText(report, cases[0].run),
            "Probe 1: record 3, saved 2026-12-09T05:12:45Z by lab@bench from typed values");
  EXPECT_EQ(recordInForceText(report, cases[2].run),
            "Probe 1: no calibration record matches the run's values (S/N 180312, offset 2.5801 "
            "V, slope 4.51)");
}

} // namespace

namespace {

// The program's own check, with no display: the history under $XDG_DATA_HOME/brellis.
TEST(HistoryCommandLine, PrintsTheCheckAndEndsZeroOnlyWhenTheHistoryIsIntact) {
  QTemporaryDir data;
  const QString path = data.filePath(QStringLiteral("brellis/calibration-history.jsonl"));
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(appendRecord(path, recordOf(1, 4.50 + i / 100.0)), QString());
  const auto check = [&] {
    QProcess brellis;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), data.path());
    brellis.setProcessEnvironment(environment);
    brellis.start(QStringLiteral(BRELLIS_PATH), {QStringLiteral("--check-calibration-history")});
    EXPECT_TRUE(brellis.waitForFinished(60000));
    return std::make_pair(brellis.exitCode(), QString::fromUtf8(brellis.readAllStandardOutput()));
  };
  EXPECT_EQ(check(), std::make_pair(0, QString("history intact (2 records)\n")));

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  QByteArray bytes = file.readAll();
  ASSERT_TRUE(bytes.contains("\"slope\":4.51"));
  bytes.replace("\"slope\":4.51", "\"slope\":4.61");
  ASSERT_TRUE(file.seek(0));
  file.write(bytes);
  file.close();
  const auto [status, printed] = check();
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(printed.startsWith("history altered at record 2")) << printed.toStdString();

  ASSERT_TRUE(QFile::remove(path));
  EXPECT_EQ(check(), std::make_pair(1, QString("history altered: 2 records missing\n")));
}

} // namespace
