#include "logging_test_support.h"

#include "logging/log_format.h"
#include "logging/log_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using logtest::fileBytes;
using logtest::Harness;

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);

logging::LogChoice toFile(const QString &path, bool append, int intervalMs = 1000) {
  return {true, append, path, intervalMs};
}

TEST(LogWriter, AppendAddsAHeaderBlockAfterTheOldContentsAndOutputReplacesThem) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.csv");
  AcquisitionState state;
  logging::LogWriter writer(state);
  const QByteArray header =
      logging::logHeaderText(state, QDate(2026, 12, 7), kUnitedStates).toLatin1();
  const QByteArray record =
      logging::logRecordText(state, "000", QTime(1, 2, 3), kUnitedStates).toLatin1();

  for (bool append : {false, true}) {
    ASSERT_TRUE(writer.openLogFile(path, append)) << writer.errorText().toStdString();
    ASSERT_TRUE(writer.writeLogHeader(QDate(2026, 12, 7), kUnitedStates));
    ASSERT_TRUE(writer.writeLogRecord("000", QTime(1, 2, 3), kUnitedStates));
    // Each line is in the file as soon as the call returns, before any close.
    EXPECT_TRUE(fileBytes(path).endsWith(record));
    ASSERT_TRUE(writer.closeLogFile());
  }
  // Two runs in one file: the second header's empty first line separates them.
  EXPECT_EQ(fileBytes(path), header + record + header + record);
  EXPECT_TRUE(fileBytes(path).contains(record + "\r\n\"Brellis DGH"));

  ASSERT_TRUE(writer.openLogFile(path, false));
  ASSERT_TRUE(writer.writeLogHeader(QDate(2026, 12, 7), kUnitedStates));
  writer.closeLogFile();
  EXPECT_EQ(fileBytes(path), header);
}

TEST(LogWriter, ARecordWithNoFileOpenWritesNothingAndSucceeds) {
  AcquisitionState state;
  logging::LogWriter writer(state);
  EXPECT_TRUE(writer.writeLogRecord("000", QTime(1, 2, 3), kUnitedStates));
  EXPECT_TRUE(writer.closeLogFile());
}

TEST(LogWriter, DestroyingTheWriterLeavesEveryRecordInTheFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("exit.csv");
  AcquisitionState state;
  {
    logging::LogWriter writer(state);
    ASSERT_TRUE(writer.openLogFile(path, false));
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(writer.writeLogRecord("000", QTime(0, 0, i), kUnitedStates));
  }
  EXPECT_EQ(fileBytes(path).count("\r\n"), 3);
}

TEST(LogController, OkStartsLoggingAndEachTickAppendsARecordOnlyWhileAFileIsOpen) {
  QTemporaryDir dir;
  const QString path = dir.filePath("log.csv");
  Harness h;
  EXPECT_FALSE(h.timer->isActive()) << "an interval-0 timer must not tick";
  EXPECT_TRUE(h.notLogging());

  h.controller->setup();
  EXPECT_FALSE(h.setupEnabled);
  EXPECT_TRUE(h.stopEnabled);
  h.controller->startLogging(toFile(path, false, 2000));
  EXPECT_TRUE(h.timer->isActive());
  EXPECT_EQ(h.timer->interval(), 2000);
  EXPECT_EQ(h.panel1, path);
  EXPECT_EQ(h.panel4, "Logging");
  EXPECT_EQ(h.picture, QStringLiteral("/opt/brellis/icons/greenlight.bmp"));
  EXPECT_FALSE(h.setupEnabled);
  EXPECT_TRUE(h.stopEnabled);
  EXPECT_FALSE(h.controller->dialog()->isVisible());

  h.state.ph1Corr = -0.5;
  h.liters = "1.25";
  h.controller->writeTick();
  h.now = h.now.addSecs(2);
  h.controller->writeTick();
  const QByteArray bytes = fileBytes(path);
  EXPECT_TRUE(bytes.endsWith("\"14:05:09\",0,0,0,0,0,0,0,0,0,\"1.25\",0,0,0,-0.5,0\r\n"
                             "\"14:05:11\",0,0,0,0,0,0,0,0,0,\"1.25\",0,0,0,-0.5,0\r\n"))
      << bytes.toStdString();

  h.controller->stopLogging();
  EXPECT_TRUE(h.notLogging());
  EXPECT_EQ(h.timer->interval(), 2000) << "stopping leaves the interval";
  h.controller->writeTick();
  EXPECT_EQ(fileBytes(path), bytes);

  // "No Save": the timer runs, ticks write nothing anywhere and nothing fails.
  h.controller->setup();
  h.controller->startLogging({false, false, path, 500});
  EXPECT_TRUE(h.timer->isActive());
  h.controller->writeTick();
  EXPECT_FALSE(h.controller->isFileOpen());
  EXPECT_EQ(fileBytes(path), bytes);
  EXPECT_EQ(h.panel1, path) << "panel 1 shows logFileName even without a file";
  EXPECT_TRUE(h.messages.texts.isEmpty());
}

#ifndef _WIN32
// Ends the process's permission to grow files past `limit` bytes, the way a full disk stops a
// write part-way, and gives it back afterwards.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t limit) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_saved);
    rlimit lower = m_saved;
    lower.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_oldHandler);
  }

private:
  rlimit m_saved{};
  void (*m_oldHandler)(int) = SIG_DFL;
};
#endif

// Starts a run into `path` and expects it to end at once in the not-logging state with one
// untitled message naming the file and the reason.
void expectRunRefused(const QString &path, const QString &reason) {
  Harness h;
  h.controller->setup();
  h.controller->startLogging(toFile(path, true));
  EXPECT_TRUE(h.notLogging());
  EXPECT_FALSE(h.controller->dialog()->isVisible());
  ASSERT_EQ(h.messages.texts.size(), 1);
  EXPECT_TRUE(h.messages.texts[0].contains(QDir::toNativeSeparators(path)))
      << h.messages.texts[0].toStdString();
  EXPECT_TRUE(h.messages.texts[0].contains(reason)) << h.messages.texts[0].toStdString();
  EXPECT_EQ(h.messages.titles[0], QString());
}

// With a new file each day, the first record of a new local date goes to that date's file, which
// starts with a header block of its own; the name it was given is never written.
TEST(LogController, ANewFileEachDayTakesOverAtLocalMidnightWithAHeaderOfItsOwn) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.csv");
  EXPECT_EQ(logging::dailyFileName(path, QDate(2026, 12, 8)), dir.filePath("run-2026-12-08.csv"));
  EXPECT_EQ(logging::dailyFileName(dir.filePath("run"), QDate(2026, 12, 8)),
            dir.filePath("run-2026-12-08"));
  Harness h;
  QStringList rolled;
  QObject::connect(h.controller.get(), &logging::LogController::logFileRolled,
                   [&](const QString &p) { rolled << p; });
  h.now = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 58));
  logging::LogChoice choice = toFile(path, false, 1000);
  choice.daily = true;
  h.controller->startLogging(choice);
  for (int k = 0; k < 4; ++k) {
    h.controller->writeTick();
    h.now = h.now.addSecs(1);
  }
  h.controller->stopLogging();
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(rolled, QStringList{dir.filePath("run-2026-12-08.csv")});
  const struct {
    const char *name;
    const char *date;
    QStringList times;
  } days[] = {{"run-2026-12-07.csv", "#2026-12-07#", {"23:59:58", "23:59:59"}},
              {"run-2026-12-08.csv", "#2026-12-08#", {"00:00:00", "00:00:01"}}};
  for (const auto &day : days) {
    const QByteArray bytes = fileBytes(dir.filePath(day.name));
    EXPECT_EQ(bytes.count("\"Date: \""), 1) << day.name;
    EXPECT_TRUE(bytes.contains(day.date)) << day.name;
    QStringList times;
    for (const QByteArray &line : bytes.split('\n'))
      if (line.size() > 10 && line[0] == '"' && line[3] == ':')
        times << QString::fromLatin1(line.mid(1, 8));
    EXPECT_EQ(times, day.times) << day.name;
  }
  EXPECT_TRUE(h.messages.texts.isEmpty());
}

// Each in the words of the system (on Windows they differ by language, and from Wine's).
TEST(LogController, AFileThatCannotBeOpenedOrWrittenEndsLoggingWithAMessageNamingIt) {
  QTemporaryDir dir;
  QFile plain(dir.filePath("plain.txt"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.csv"));

  struct Case {
    const char *name;
    QString path;
    QString reason;
  };
  const Case cases[] = {
#ifdef _WIN32
      {"under a regular file", dir.filePath("plain.txt/log.csv"),
       qt_error_string(ERROR_PATH_NOT_FOUND)},
      {"a folder of that name", dir.filePath("folder.csv"), qt_error_string(ERROR_ACCESS_DENIED)},
      {"missing folder", dir.filePath("missing/log.csv"), qt_error_string(ERROR_PATH_NOT_FOUND)},
#else
      {"under a regular file", dir.filePath("plain.txt/log.csv"), "Not a directory"},
      {"a folder of that name", dir.filePath("folder.csv"), "Is a directory"},
      {"missing folder", dir.filePath("missing/log.csv"), "No such file or directory"},
      {"disk full", "/dev/full", "No space left on device"},
#endif
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    expectRunRefused(c.path, c.reason);
  }
}

// Made with permission bits and file size limits.
#ifndef _WIN32
TEST(LogController, AFolderWithoutWritePermissionEndsLoggingWithAMessageNamingTheFile) {
  if (geteuid() == 0)
    GTEST_SKIP() << "running as root, where permission bits do not stop writes";
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
  QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  expectRunRefused(dir.filePath("locked/log.csv"), "Permission denied");
}

TEST(LogController, AWriteThatFailsMidRunKeepsEveryEarlierRecordWhole) {
  QTemporaryDir dir;
  const QString path = dir.filePath("full.csv");
  Harness h;
  h.controller->setup();
  h.controller->startLogging(toFile(path, false));
  for (int i = 0; i < 3; ++i) {
    h.controller->writeTick();
    h.now = h.now.addSecs(1);
  }
  const QByteArray before = fileBytes(path);
  {
    // Room for less than half a record more.
    FileSizeLimit limit(before.size() + 20);
    h.controller->writeTick();
    EXPECT_TRUE(h.notLogging());
  }
  ASSERT_EQ(h.messages.texts.size(), 1);
  EXPECT_TRUE(h.messages.texts[0].contains(path));
  EXPECT_TRUE(h.messages.texts[0].contains("File too large")) << h.messages.texts[0].toStdString();
  EXPECT_EQ(fileBytes(path), before) << "the cut-off line is removed, whole records stay";
  h.controller->writeTick();
  EXPECT_EQ(h.messages.texts.size(), 1) << "no tick after the failure";
}
#endif

#ifndef _WIN32 // Debian's python3
TEST(LogFile, ACsvReaderGetsEveryRecordBackInSixteenColumns) {
  QTemporaryDir dir;
  const QString path = dir.filePath("csv.csv");
  Harness h;
  h.controller->setLocale(QLocale(QLocale::German, QLocale::Germany));
  h.state.probe1Serial = QStringLiteral("A\"1\r\nB");
  h.controller->setup();
  h.controller->startLogging(toFile(path, false));
  const QStringList liters = {"000", "12,5", ""};
  QList<QStringList> expected;
  for (int i = 0; i < 3; ++i) {
    h.state.therm1Temp = 20.25 + i;
    h.state.ph2mV = -1.5 * i;
    h.state.ph1Corr = -0.5;
    h.liters = liters[i];
    h.controller->writeTick();
    expected.append({h.now.time().toString("hh:mm:ss"), QString::number(20.25 + i), "0", "0", "0",
                     i == 0 ? "0" : QString::number(-1.5 * i), "0", "0", "0", "0", liters[i], "0",
                     "0", "0", "-0.5", "0"});
    h.now = h.now.addSecs(1);
  }
  h.controller->stopLogging();

  // Prints line 10 of the header and every record, fields separated by '|'.
  const QString script =
      QStringLiteral("import csv, sys\n"
                     "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
                     "print('|'.join(rows[9]))\n"
                     "for r in rows[16:]: print('|'.join(r))\n");
  QProcess python;
  python.start("python3", {"-c", script, path});
  ASSERT_TRUE(python.waitForFinished(30000));
  ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split('\n');
  lines.removeAll(QString());
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], QStringLiteral("Probe 1 Serial Number: A\"1 B"));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i + 1].split('|'), expected[i]);
  }
}

#endif

} // namespace
