#include "logging/log_export.h"
#include "logging/log_overview.h"
#include "logging/log_reader.h"
#include "logging/log_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cmath>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using logging::LogColumn;

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);
// A decimal comma, and "." between hours, minutes and seconds.
const QLocale kFinland(QLocale::Finnish, QLocale::Finland);

qint64 at(int y, int mo, int d, int h, int mi, int s) {
  return logging::wallSecondsOf(QDate(y, mo, d), h * 3600 + mi * 60 + s);
}

QByteArray readAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Written {
  QTime time;
  QString liters;
  double total; // NaN for "000" and ""
};

TEST(LogReader, TwoAppendedRunsOfTheWriterComeBackFieldForField) {
  QTemporaryDir dir;
  const QString path = dir.filePath("two runs.csv");
  AcquisitionState s;
  logging::LogWriter writer(s);

  // Run 1, United States settings, over midnight.
  s.probe1Offset = 2.5777;
  s.probe2Offset = -0.0123;
  s.probe1Slope = 4.5427;
  s.probe2Slope = 1e-7;
  s.probe1Serial = QStringLiteral("180312");
  s.probe2Serial = QStringLiteral("Q\"7, spare");
  s.probe1CalDate = QDate(2001, 1, 1);
  s.probe2CalDate = QDate(2026, 3, 4);
  const double first[LogColumn::LogColumnCount] = {21.54,  -0.5, 1234567.89012345, 2577.7, -12.25,
                                                   7.0012, 14,   89999.5,          13.04,  0,
                                                   -1.5,   0.25, 1.5e20,           0.05,   -0.0001};
  const auto load = [&s](const double *v) {
    s.therm1Temp = v[0], s.therm2Temp = v[1], s.therm3Temp = v[2], s.ph1mV = v[3];
    s.ph2mV = v[4], s.ph1Value = v[5], s.ph2Value = v[6], s.flowHz = v[7];
    s.litersPerMin = v[8], s.therm1Offset = v[10], s.therm2Offset = v[11];
    s.therm3Offset = v[12], s.ph1Corr = v[13], s.ph2Corr = v[14];
  };
  load(first);
  const Written run1[] = {{QTime(23, 59, 58), QStringLiteral("000"), NAN},
                          {QTime(23, 59, 59), QStringLiteral("0.01"), 0.01},
                          {QTime(0, 0, 0), QString(), NAN},
                          {QTime(0, 0, 1), QStringLiteral("12.34"), 12.34}};
  ASSERT_TRUE(writer.openLogFile(path, false));
  ASSERT_TRUE(writer.writeLogHeader(QDate(2026, 12, 7), kUnitedStates));
  for (const Written &w : run1)
    ASSERT_TRUE(writer.writeLogRecord(w.liters, w.time, kUnitedStates));
  writer.closeLogFile();

  // Run 2 appended under Finnish settings.
  s.probe1Offset = -0.5;
  s.probe2Slope = 4.5;
  const double second[LogColumn::LogColumnCount] = {-40.25, 99.99, 0, 0.001, 3e-5, 14, 0, 0,
                                                    0,      0,     0, 0,     0,    0,  0};
  load(second);
  const Written run2[] = {{QTime(8, 15, 0), QStringLiteral("13,25"), 13.25},
                          {QTime(8, 15, 1), QStringLiteral("1234,5"), 1234.5}};
  ASSERT_TRUE(writer.openLogFile(path, true));
  ASSERT_TRUE(writer.writeLogHeader(QDate(2026, 12, 9), kFinland));
  for (const Written &w : run2)
    ASSERT_TRUE(writer.writeLogRecord(w.liters, w.time, kFinland));
  writer.closeLogFile();

  const logging::LogFile log = logging::readLogFile(path);
  ASSERT_TRUE(log.ok) << log.error.toStdString();
  EXPECT_EQ(log.damagedLines, 0);
  ASSERT_EQ(log.runs.size(), 2);
  ASSERT_EQ(log.records.size(), 6u);

  const logging::LogRun &a = log.runs[0];
  EXPECT_EQ(a.headerLine, 2);
  EXPECT_EQ(a.version, QStringLiteral("2.4.1"));
  EXPECT_EQ(a.date, QDate(2026, 12, 7));
  EXPECT_EQ(a.probe1Offset, QStringLiteral("2.5777"));
  EXPECT_EQ(a.probe2Offset, QStringLiteral("-0.0123"));
  EXPECT_EQ(a.probe1Slope, QStringLiteral("4.5427"));
  EXPECT_EQ(a.probe2Slope, QStringLiteral("0.0000001"));
  EXPECT_EQ(a.probe1Serial, QStringLiteral("180312"));
  EXPECT_EQ(a.probe2Serial, QStringLiteral("Q\"7, spare"));
  EXPECT_EQ(a.probe1CalDate, QStringLiteral("1/1/2001"));
  EXPECT_EQ(a.probe2CalDate, QStringLiteral("3/4/2026"));
  EXPECT_EQ(a.firstRecord, 0);
  EXPECT_EQ(a.recordCount, 4);
  const logging::LogRun &b = log.runs[1];
  EXPECT_EQ(b.date, QDate(2026, 12, 9));
  EXPECT_EQ(b.probe1Offset, QStringLiteral("-0,5"));
  EXPECT_EQ(logging::headerNumber(b.probe1Offset), -0.5);
  EXPECT_EQ(logging::headerNumber(b.probe2Slope), 4.5);
  EXPECT_EQ(b.firstRecord, 4);
  EXPECT_EQ(b.recordCount, 2);

  const qint64 times[] = {at(2026, 12, 7, 23, 59, 58), at(2026, 12, 7, 23, 59, 59),
                          at(2026, 12, 8, 0, 0, 0),    at(2026, 12, 8, 0, 0, 1),
                          at(2026, 12, 9, 8, 15, 0),   at(2026, 12, 9, 8, 15, 1)};
  for (size_t i = 0; i < log.records.size(); ++i) {
    SCOPED_TRACE(i);
    const logging::LogRecord &r = log.records[i];
    const bool inFirst = i < 4;
    const double *expected = inFirst ? first : second;
    const Written &w = inFirst ? run1[i] : run2[i - 4];
    EXPECT_EQ(r.run, inFirst ? 0 : 1);
    EXPECT_EQ(logging::wallIsoText(r.wallSeconds), logging::wallIsoText(times[i]));
    for (int c = 0; c < LogColumn::LogColumnCount; ++c) {
      const double want = c == LogColumn::TotalLiters ? w.total : expected[c];
      if (std::isnan(want))
        EXPECT_TRUE(std::isnan(r.values[c])) << logging::columnName(c).toStdString();
      else
        EXPECT_EQ(r.values[c], want) << logging::columnName(c).toStdString();
    }
  }
}

TEST(LogReader, TheDayTurnsWhenTheClockGoesBackMoreThanAnHourAndNotForAClockSetBack) {
  const QByteArray header =
      "\r\n\"Brellis DGH Contoller Logging Program\"\r\n\"Version: 2.4.1\"\r\n\r\n"
      "\"Date: \",#2026-10-24#\r\n"
      "\"Time, Therm1, Therm2, Therm3, pH-1 mV, pH-2 mV, pH-1 value, pH-2 value, Flow "
      "frequency, liters/min, Total Liters, Therm 1 offset, Therm 2 offset, Therm 3 offset, "
      "pH1 corr, pH2 corr\"\r\n\r\n";
  QByteArray bytes = header;
  for (const char *t : {"23:00:00", "02:59:30", "02:00:30", "23:59:00", "00:59:00", "00:00:00"})
    bytes += QByteArray("\"") + t + "\",0,0,0,0,0,0,0,0,0,\"000\",0,0,0,0,0\r\n";
  const logging::LogFile log = logging::readLogBytes(bytes);
  ASSERT_TRUE(log.ok);
  QStringList times;
  for (const auto &r : log.records)
    times << logging::wallIsoText(r.wallSeconds);
  EXPECT_EQ(times.join(' ').toStdString(),
            "2026-10-24T23:00:00 2026-10-25T02:59:30 2026-10-25T02:00:30 2026-10-25T23:59:00 "
            "2026-10-26T00:59:00 2026-10-26T00:00:00");
}

const QByteArray kHeader =
    "\r\n\"Brellis DGH Contoller Logging Program\"\r\n\"Version: 2.4.1\"\r\n\r\n"
    "\"Date: \",#2026-12-07#\r\n\"Probe 1 Offset: 2.5777\"\r\n\"Probe 2 Offset: 2.5777\"\r\n"
    "\"Probe 1 Slope: 4.5427\"\r\n\"Probe 2 Slope: 4.5427\"\r\n"
    "\"Probe 1 Serial Number: 180312\"\r\n\"Probe 2 Serial Number: 180312\"\r\n"
    "\"Probe 1 Calibration Date: 1/1/2001\"\r\n\"Probe 2 Calibration Date: 1/1/2001\"\r\n\r\n"
    "\"Time, Therm1, Therm2, Therm3, pH-1 mV, pH-2 mV, pH-1 value, pH-2 value, Flow frequency, "
    "liters/min, Total Liters, Therm 1 offset, Therm 2 offset, Therm 3 offset, pH1 corr, pH2 "
    "corr\"\r\n\r\n";
const QByteArray kRecord = "\"14:05:09\",21.5,0,0,2577.7,0,7.01,0,0,0,\"000\",0,0,0,0,0\r\n";

TEST(LogReader, DamagedFilesKeepTheirReadablePartAndCountTheRest) {
  QByteArray lfOnly = kHeader + kRecord + kRecord;
  lfOnly.replace("\r\n", "\n");
  const QByteArray partialHeader =
      "\r\n\"Brellis DGH Contoller Logging Program\"\r\n\"Version: 2.4.1\"\r\n\r\n"
      "\"Date: \",#2026-12-06#\r\n";
  const QByteArray undated = QByteArray(kHeader).replace("\"Date: \",#2026-12-07#", "");
  const struct {
    const char *name;
    QByteArray bytes;
    bool ok;
    qsizetype runs, records;
    qint64 damaged, firstDamaged;
    const char *error;
  } cases[] = {
      {"LF line ends", lfOnly, true, 1, 2, 0, 0, ""},
      {"last line cut short", kHeader + kRecord + kRecord.left(30), true, 1, 1, 1, 18, ""},
      {"a complete last record without its line end", kHeader + kRecord.chopped(2), true, 1, 1, 0,
       0, ""},
      {"binary garbage between records",
       kHeader + kRecord + QByteArray("\x89PNG\0\xff\"\x01,,\"\r\n", 13) + kRecord, true, 1, 2, 1,
       18, ""},
      {"records before any header", kRecord + kRecord + kHeader + kRecord, true, 1, 1, 2, 1, ""},
      {"a header cut short, then a whole run", partialHeader + kHeader + kRecord, true, 1, 1, 3, 2,
       ""},
      {"fields that do not read",
       kHeader + "\"25:00:00\",0,0,0,0,0,0,0,0,0,\"000\",0,0,0,0,0\r\n" +
           "\"14:05:09\",0,0,0,0,0,0,0,0,0,\"000\",0,0,0,0\r\n" +
           "\"14:05:09\",0,0,0,0,0,0,0,0,0,\"1x\",0,0,0,0,0\r\n" +
           "\"14:05:09\",0,0,0,0,0,0,0,0,0,12.5,0,0,0,0,0\r\n" +
           "\"14:05:09\",0,0,0,0,\"0\",0,0,0,0,\"\",0,0,0,0,0\r\n" + kRecord,
       true, 1, 1, 5, 17, ""},
      {"an overlong line", kHeader + QByteArray(200000, 'x') + "\r\n" + kRecord, true, 1, 1, 1, 17,
       ""},
      {"a file that is not a log", "Time,pH\r\n14:05:09,7.01\r\n", false, 0, 0, 2, 1,
       "not a Brellis log file"},
      {"an empty file", "", false, 0, 0, 0, 0, "not a Brellis log file"},
      {"no header with a date", undated + kRecord, false, 0, 0, 12, 2, "no complete header"},
      {"binary garbage only", QByteArray(3 << 20, '\xe5'), false, 0, 0, 1, 1,
       "not a Brellis log file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const logging::LogFile log = logging::readLogBytes(c.bytes);
    EXPECT_EQ(log.ok, c.ok);
    EXPECT_EQ(log.runs.size(), c.runs);
    EXPECT_EQ(qsizetype(log.records.size()), c.records);
    EXPECT_EQ(log.damagedLines, c.damaged);
    EXPECT_EQ(log.firstDamagedLine, c.firstDamaged);
    EXPECT_TRUE(log.error.contains(QLatin1String(c.error))) << log.error.toStdString();
    if (c.records > 0) {
      EXPECT_EQ(log.records.back().values[LogColumn::Ph1Value], 7.01);
    }
  }
}

TEST(LogExport, CsvHasOneTidyRowPerRecordWithEmptyCellsForMissingTotals) {
  QTemporaryDir dir;
  const QByteArray bytes =
      kHeader + kRecord +
      "\"14:05:10\",21.5,0,0,2577.7,0,7.01,0,0,0,\"12,5\",-0.5,0,0,1E+20,0\r\n" +
      "\"14:05:11\",21.5,0,0,2577.7,0,7.01,0,0,0,\"\",0,0,0,0,0\r\n" + kHeader + kRecord;
  const QString out = dir.filePath("table.CSV");
  QString error;
  ASSERT_TRUE(logging::exportLog(logging::readLogBytes(bytes), out, &error)) << error.toStdString();
  EXPECT_EQ(readAll(out).toStdString(),
            "run,time,therm1_C,therm2_C,therm3_C,ph1_mV,ph2_mV,ph1,ph2,flow_Hz,flow_L_per_min,"
            "total_L,therm1_offset_C,therm2_offset_C,therm3_offset_C,ph1_corr,ph2_corr\n"
            "1,2026-12-07T14:05:09,21.5,0,0,2577.7,0,7.01,0,0,0,,0,0,0,0,0\n"
            "1,2026-12-07T14:05:10,21.5,0,0,2577.7,0,7.01,0,0,0,12.5,-0.5,0,0,1e+20,0\n"
            "1,2026-12-07T14:05:11,21.5,0,0,2577.7,0,7.01,0,0,0,,0,0,0,0,0\n"
            "2,2026-12-07T14:05:09,21.5,0,0,2577.7,0,7.01,0,0,0,,0,0,0,0,0\n");
}

TEST(LogExport, CommandLineFailuresSayWhyExitNonZeroAndLeaveNoTable) {
  QTemporaryDir dir;
  const QString log = dir.filePath("run.csv");
  const QString notLog = dir.filePath("notes.txt");
  for (const auto &[path, bytes] :
       {std::pair{log, kHeader + kRecord + "garbage\r\n"}, std::pair{notLog, QByteArray("hi\n")}}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  const QString table = dir.filePath("out.xlsx");
  // The system's words for a missing file and a missing folder.
#ifdef _WIN32
  const QString noFile = qt_error_string(ERROR_FILE_NOT_FOUND);
  const QString noFolder = qt_error_string(ERROR_PATH_NOT_FOUND);
#else
  const QString noFile = qt_error_string(ENOENT);
  const QString noFolder = noFile;
#endif
  const struct {
    QString in, out;
    int status;
    QString message;
  } cases[] = {
      {log, dir.filePath("out.ods"), 2,
       "brellis: --export-log writes .csv or .xlsx, not \"" + dir.filePath("out.ods") + "\"\n"},
      {dir.filePath("missing.csv"), table, 1,
       "brellis: cannot read " + dir.filePath("missing.csv") + ": " + noFile + "\n"},
      {notLog, table, 1,
       "brellis: " + notLog +
           ": This is not a Brellis log file: it has no log header (the line \"Brellis DGH "
           "Contoller Logging Program\").\n"},
      {log, dir.filePath("no/such/dir/out.csv"), 1,
       "brellis: Cannot write " + dir.filePath("no/such/dir/out.csv") + ": " + noFolder + "\n"},
      {log, table, 0, "brellis: " + log + ": 1 damaged line(s) skipped, the first at line 18\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.out.toStdString());
    QString err;
    QTextStream stream(&err);
    EXPECT_EQ(logging::exportLogCommand(c.in, c.out, stream), c.status);
    stream.flush();
    EXPECT_EQ(err.toStdString(), c.message.toStdString());
    EXPECT_EQ(QFile::exists(c.out), c.status == 0);
  }
}

// Each day's file of one run, given in order, make one table whose runs are numbered on.
TEST(LogExport, SeveralLogsMakeOneTableWithTheirRunsNumberedOn) {
  QTemporaryDir dir;
  const QString log = QStringLiteral(BRELLIS_TEST_DATA "/two_runs.log");
  // The run column of each row of the table made of `logs`.
  const auto runsOf = [&](const QStringList &logs) {
    const QString out = dir.filePath(QString::number(logs.size()) + ".csv");
    QString err;
    QTextStream stream(&err);
    EXPECT_EQ(logging::exportLogCommand(logs, out, stream), 0) << err.toStdString();
    QFile table(out);
    QList<int> runs;
    if (table.open(QIODevice::ReadOnly))
      for (const QByteArray &line : table.readAll().split('\n').mid(1))
        if (!line.isEmpty())
          runs << line.left(line.indexOf(',')).toInt();
    return runs;
  };
  const QList<int> once = runsOf({log});
  ASSERT_EQ(once.size(), 6);
  QList<int> expected = once;
  for (int run : once)
    expected << run + 2; // the file holds two runs
  EXPECT_EQ(runsOf({log, log}), expected);
}

#ifndef _WIN32
// A table that stops growing part-way (here at the file size limit, as at a full disk) says the
// system's reason, not "Unknown error.", and leaves no table.
TEST(LogExport, ATableCutShortByTheDiskNamesTheSystemsReason) {
  QTemporaryDir dir;
  QByteArray bytes = kHeader;
  for (int i = 0; i < 20000; ++i) // more than one 1 MiB write of the table
    bytes += kRecord;
  const QString out = dir.filePath("table.csv");
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit lower = saved;
  lower.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &lower);
  QString error;
  const bool written = logging::exportLog(logging::readLogBytes(bytes), out, &error);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(written);
  EXPECT_EQ(error, "Cannot write " + out + ": " + qt_error_string(EFBIG));
  EXPECT_FALSE(QFile::exists(out));
}
#endif

} // namespace

namespace {

// An overview keeps every spike: each one, high or low, in any charted reading and either run,
// is among the records kept, and the counts are the file's.
TEST(LogOverview, KeepsEverySpikeAndCountsEveryRecord) {
  QTemporaryDir dir;
  const QString path = dir.filePath("spikes.csv");
  AcquisitionState s;
  logging::LogWriter writer(s);
  const struct {
    int run, record;
    double AcquisitionState::*reading;
    double value;
  } spikes[] = {{0, 1234, &AcquisitionState::ph1Value, 9.5},
                {0, 2999, &AcquisitionState::therm2Temp, -5},
                {1, 17, &AcquisitionState::litersPerMin, 80},
                {1, 1999, &AcquisitionState::ph2Value, 1.25}};
  for (int run = 0; run < 2; ++run) {
    writer.openLogFile(path, run == 1);
    writer.writeLogHeader(QDate(2026, 12, 7 + run), kUnitedStates);
    for (int i = 0; i < 3000 - 1000 * run; ++i) {
      s.ph1Value = 7 + 0.001 * (i % 50), s.ph2Value = 7, s.therm2Temp = 20, s.litersPerMin = 6;
      for (const auto &spike : spikes)
        if (spike.run == run && spike.record == i)
          s.*spike.reading = spike.value;
      writer.writeLogRecord(QStringLiteral("1.5"), QTime(8, 0).addSecs(i), kUnitedStates);
    }
    writer.closeLogFile();
  }
  const logging::LogFile overview = logging::readLogOverview(path, 200);
  ASSERT_TRUE(overview.ok) << overview.error.toStdString();
  EXPECT_EQ(overview.recordCount(), 5000);
  EXPECT_EQ(overview.runRecordCount(0), 3000);
  EXPECT_EQ(overview.runRecordCount(1), 2000);
  EXPECT_LT(overview.records.size(), 400u);
  for (const auto &spike : spikes) {
    const qint64 when = at(2026, 12, 7 + spike.run, 8, 0, 0) + spike.record;
    const auto kept = std::find_if(overview.records.begin(), overview.records.end(),
                                   [&](const logging::LogRecord &r) { return r.wallSeconds == when; });
    EXPECT_NE(kept, overview.records.end()) << spike.run << " " << spike.record;
  }
  for (int run = 0; run < 2; ++run) { // each run's first and last record
    const logging::LogRun &r = overview.runs[run];
    ASSERT_GT(r.recordCount, 1);
    EXPECT_EQ(overview.records[size_t(r.firstRecord)].wallSeconds, at(2026, 12, 7 + run, 8, 0, 0));
    EXPECT_EQ(overview.records[size_t(r.firstRecord + r.recordCount - 1)].wallSeconds,
              at(2026, 12, 7 + run, 8, 0, 0) + 2999 - 1000 * run);
  }
}

} // namespace
