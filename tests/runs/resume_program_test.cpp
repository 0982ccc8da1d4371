// The real program taken up again after an end that was not an Exit: the channels, the logging
// into the same file (a second header block, appended) and the journal's "resumed"; a damaged run
// file refused by name, the start then a new one.
#include "runs/events_journal.h"
#include "runs/run_file.h"
#include "tests/runs/notify_socket.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int patience = 30000; // the machine may be busy

struct Home {
  QTemporaryDir dir;
  QString run() const { return dir.filePath("state/brellis/run.json"); }
  QString log() const { return dir.filePath("run.log"); }
  QByteArray logText() const {
    QFile file(log());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QProcess *start(const QStringList &arguments, bool quitAfterShow = false,
                  const QString &notifySocket = QString(), const QString &fakeOffset = QString()) {
    auto *program = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (quitAfterShow)
      env.insert("BRELLIS_QUIT_AFTER_SHOW", "1");
    if (!fakeOffset.isEmpty()) { // the wall clock stepped by libfaketime, the monotonic one not
      env.insert("LD_PRELOAD", BRELLIS_LIBFAKETIME);
      env.insert("FAKETIME_TIMESTAMP_FILE", fakeOffset);
      env.insert("FAKETIME_NO_CACHE", "1");
      env.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
      env.remove("FAKETIME");
    }
    if (!notifySocket.isEmpty()) {
      env.insert("NOTIFY_SOCKET", notifySocket);
      env.insert("WATCHDOG_USEC", "2000000"); // a ping a second
    }
    program->setProcessEnvironment(env);
    program->start(QStringLiteral(BRELLIS_PATH), arguments);
    program->waitForStarted();
    return program;
  }
};

// The events of a journal, in order.
QStringList events(const QString &path) {
  const runs::EventsRead read = runs::readEventsJournal(path);
  EXPECT_TRUE(read.error.isEmpty()) << read.error.toStdString();
  QStringList names;
  for (const runs::EventEntry &entry : read.entries)
    names << entry.event + (entry.event == "resumed" ? " " + entry.detail.section(';', 1) : "");
  return names;
}

TEST(ResumedProgram, TakesTheRunUpAgainAndAppendsASecondHeaderBlock) {
  Home home;
  runs::RunRecord last;
  last.simulate = true;
  last.ph = last.flow = true;
  last.logging = true;
  last.logFile = home.log();
  last.logIntervalMs = 1000;
  ASSERT_EQ(runs::saveRunFile(home.run(), last), "");

  for (int start = 1; start <= 2; ++start) {
    std::unique_ptr<QProcess> program(home.start({"--resume", "--unattended"}));
    // Records of probe and flow readings: not the zeros of channels left off.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return home.logText().count("\"Date: \"") == start && home.logText().contains(",\"0."); },
        patience))
        << home.logText().toStdString();
    // Killed outright (a crash, a power cut), then ended as the desktop session ends: neither is
    // an Exit, and the run stays to be taken up again.
    ::kill(pid_t(program->processId()), start == 1 ? SIGKILL : SIGTERM);
    ASSERT_TRUE(program->waitForFinished(patience));
    if (start == 2) {
      EXPECT_EQ(program->exitCode(), 0);
    }
    const runs::RunFileLoad kept = runs::loadRunFile(home.run());
    ASSERT_EQ(kept.outcome, runs::RunFileLoad::Outcome::Loaded) << kept.message.toStdString();
    EXPECT_FALSE(kept.record.ended);
    EXPECT_TRUE(kept.record.ph && kept.record.flow && !kept.record.therm);
    EXPECT_EQ(kept.record.logFile, home.log());
  }
  const QStringList standing = events(home.dir.filePath("state/brellis/events.csv"));
  const QStringList besideLog = events(home.log() + ".events.csv");
  EXPECT_EQ(standing.filter("resumed").size(), 2) << standing.join('|').toStdString();
  EXPECT_EQ(besideLog.filter("resumed").size(), 2) << besideLog.join('|').toStdString();
  // The second resume names the last record the first one wrote.
  EXPECT_TRUE(besideLog.filter("resumed").last().contains(" the last record 20"))
      << besideLog.join('|').toStdString();
}

// After an Exit nothing is taken up again: every channel off, not logging, but the last run's
// port and mapping kept, and the start journaled as a start.
TEST(ResumedProgram, AfterAnExitItStartsAnewWithTheLastRunsPort) {
  Home home;
  runs::RunRecord last;
  last.simulate = true;
  last.port = 3;
  last.com[3] = "/dev/ttyDGH";
  last.ph = last.flow = last.therm = true;
  last.logging = true;
  last.logFile = home.log();
  last.ended = true;
  ASSERT_EQ(runs::saveRunFile(home.run(), last), "");
  std::unique_ptr<QProcess> program(home.start({"--resume"}, true));
  ASSERT_TRUE(program->waitForFinished(patience));
  EXPECT_EQ(program->exitCode(), 0) << program->readAllStandardError().toStdString();
  const runs::RunFileLoad kept = runs::loadRunFile(home.run());
  ASSERT_EQ(kept.outcome, runs::RunFileLoad::Outcome::Loaded) << kept.message.toStdString();
  EXPECT_EQ(kept.record.port, 3);
  EXPECT_EQ(kept.record.com.value(3), "/dev/ttyDGH");
  EXPECT_FALSE(kept.record.ph || kept.record.flow || kept.record.therm);
  EXPECT_FALSE(kept.record.logging);
  EXPECT_FALSE(QFile::exists(home.log())) << "nothing is logged";
  const QStringList journal = events(home.dir.filePath("state/brellis/events.csv"));
  EXPECT_TRUE(journal.contains("started") && journal.filter("resumed").isEmpty())
      << journal.join('|').toStdString();
}

TEST(ResumedProgram, ADamagedRunFileIsRefusedByNameAndLeftAsItIs) {
  Home home;
  QDir().mkpath(home.dir.filePath("state/brellis"));
  QFile file(home.run());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("{\"version\": 1, \"port\": ");
  file.close();
  std::unique_ptr<QProcess> program(home.start({"--resume", "--simulate"}, true));
  ASSERT_TRUE(program->waitForFinished(patience));
  EXPECT_EQ(program->exitCode(), 0);
  const QString said = QString::fromUtf8(program->readAllStandardError());
  EXPECT_TRUE(said.contains("The run file " + home.run() + " is refused")) << said.toStdString();
  EXPECT_TRUE(said.contains("The program starts anew.")) << said.toStdString();
  QFile again(home.run());
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  EXPECT_EQ(again.readAll(), "{\"version\": 1, \"port\": ") << "left as it was";
}

// The service manager hears that the window is up, then a ping at half the watchdog's time from
// the user-interface thread, and that the program stops when it is told to end.
TEST(ResumedProgram, SpeaksTheNotifyProtocolToTheServiceManager) {
  Home home;
  const QString path = home.dir.filePath("notify");
  NotifySocket socket(path);
  ASSERT_TRUE(socket.bound());
  std::unique_ptr<QProcess> program(home.start({"--simulate"}, false, path));
  const QList<QByteArray> first = socket.receiveUntil("READY=1");
  ASSERT_FALSE(first.isEmpty());
  EXPECT_EQ(first.last(), "READY=1");
  EXPECT_EQ(socket.receiveUntil("WATCHDOG=1").value(0), "WATCHDOG=1");
  EXPECT_EQ(socket.receiveUntil("WATCHDOG=1").value(0), "WATCHDOG=1");
  ::kill(pid_t(program->processId()), SIGTERM);
  EXPECT_EQ(socket.receiveUntil("STOPPING=1").last(), "STOPPING=1");
  ASSERT_TRUE(program->waitForFinished(patience));
}

// The wall clock stepped an hour forward while logging every second: the jump is journaled with
// its size, and the records go on, one a second, on each side of it.
TEST(ResumedProgram, AClockJumpIsJournaledWithItsSizeAndTheRecordsAroundItAreAllThere) {
  Home home;
  const QString offset = home.dir.filePath("offset");
  const auto setOffset = [&](const QByteArray &text) {
    QFile file(offset + ".new");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text + '\n');
    file.close();
    ASSERT_TRUE(QFile::remove(offset) || !QFile::exists(offset));
    ASSERT_TRUE(QFile::rename(offset + ".new", offset));
  };
  setOffset("+0");
  runs::RunRecord last;
  last.simulate = true;
  last.ph = true;
  last.logging = true;
  last.logFile = home.log();
  last.logIntervalMs = 1000;
  ASSERT_EQ(runs::saveRunFile(home.run(), last), "");
  std::unique_ptr<QProcess> program(home.start({"--resume"}, false, QString(), offset));
  const auto records = [&] {
    QList<QTime> times;
    for (const QByteArray &line : home.logText().split('\n'))
      if (line.startsWith('"') && line.size() > 10 && line[3] == ':')
        times << QTime::fromString(QString::fromLatin1(line.mid(1, 8)), "hh:mm:ss");
    return times;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return records().size() >= 3; }, patience));
  setOffset("+3600");
  const int before = int(records().size());
  ASSERT_TRUE(QTest::qWaitFor([&] { return records().size() >= before + 4; }, patience));
  ::kill(pid_t(program->processId()), SIGTERM);
  ASSERT_TRUE(program->waitForFinished(patience));

  const QList<QTime> times = records();
  int jumps = 0;
  for (qsizetype k = 1; k < times.size(); ++k) {
    const int step = times[k - 1].secsTo(times[k]);
    if (step == 1)
      continue;
    ++jumps;
    EXPECT_TRUE(step == 3600 || step == 3601) << "step " << step << " at record " << k;
  }
  EXPECT_EQ(jumps, 1);
  const runs::EventsRead events =
      runs::readEventsJournal(home.dir.filePath("state/brellis/events.csv"));
  QStringList jumped;
  for (const runs::EventEntry &entry : events.entries)
    if (entry.event == "clock_jump")
      jumped << entry.detail;
  ASSERT_EQ(jumped.size(), 1);
  EXPECT_TRUE(jumped[0].startsWith("+3599.") || jumped[0].startsWith("+3600."))
      << jumped[0].toStdString();
}

} // namespace
