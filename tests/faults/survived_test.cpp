// Faults met while the program runs: a module that stops answering, the serial device going away
// and coming back, the log file's disk filling up.

#include "tests/e2e/dgh_sim_process.h"
#include "tests/faults/live_window.h"

#include "logging/log_controller.h"
#include "tests/support/fake_clock.h"
#include "tests/support/simulated_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString flowMsg = QStringLiteral("NO VALID RETURN FROM FLOW MODULE");
const QString phMsg = QStringLiteral("NO VALID RETURN FROM pH MODULE");
const QString portMsg = QStringLiteral("Port Not open [Port Failure]");
QString thermMsg(int k) { return QStringLiteral("No valid return from thermistor %1").arg(k); }

// What a running timer does at its next period, without waiting for it.
void fire(QTimer *timer) {
  ASSERT_TRUE(timer->isActive());
  QTimerEvent event(timer->timerId());
  QCoreApplication::sendEvent(timer, &event);
}

} // namespace

TEST(FaultsSurvived, AModuleThatStopsAnsweringMidRunIsReportedAndTheOthersGoOn) {
  e2e::DghSimProcess sim;
  ASSERT_FALSE(sim.devicePath().isEmpty());
  faults::LiveWindow live(sim.devicePath());
  ASSERT_TRUE(live.load());
  live.switchAllOn();
  live.window->readTick();
  live.window->readTick();
  ASSERT_EQ(live.takeMessages(), QStringList());
  const double therm2Before = live.window->state().therm2Temp;

  ASSERT_EQ(sim.control(QStringLiteral("silent 2")), QStringLiteral("ok"));
  ASSERT_EQ(sim.control(QStringLiteral("silent 5")), QStringLiteral("ok"));
  live.window->readTick();
  EXPECT_EQ(live.takeMessages(), (QStringList{flowMsg, thermMsg(2)}));
  EXPECT_FALSE(live.isOn("cwbFlow"));
  EXPECT_TRUE(live.isOn("cwbPh"));
  EXPECT_TRUE(live.isOn("cwbTherm")); // only thermistor 3 stops the channel
  EXPECT_EQ(live.window->state().therm2Temp, therm2Before);

  // Back again: thermistor 2 is read at the next tick; the flow channel stays off until the
  // operator turns it on.
  ASSERT_EQ(sim.control(QStringLiteral("clear")), QStringLiteral("ok"));
  live.window->readTick();
  EXPECT_EQ(live.takeMessages(), QStringList());
  EXPECT_FALSE(live.isOn("cwbFlow"));
  EXPECT_TRUE(faults::allFinite(live.window->state()));
}

TEST(FaultsSurvived, TheDeviceGoneAndBackIsReopenedByCommPort) {
  QTemporaryDir dir;
  const QString link = dir.filePath(QStringLiteral("ttyDGH"));
  auto first = std::make_unique<e2e::DghSimProcess>(QStringList{"--link", link});
  ASSERT_FALSE(first->devicePath().isEmpty());
  faults::LiveWindow live(link);
  ASSERT_TRUE(live.load());
  live.switchAllOn();
  live.window->readTick();
  ASSERT_EQ(live.takeMessages(), QStringList());

  // The terminal's other end disappears at once, as when a USB adapter is pulled.
  ASSERT_TRUE(first->endWith(SIGKILL));
  first.reset();
  live.window->readTick();
  EXPECT_FALSE(live.line.portOpen());
  const QStringList shown = live.takeMessages();
  const QSet<QString> allowed = {flowMsg, phMsg, portMsg, thermMsg(1), thermMsg(2), thermMsg(3)};
  for (const QString &text : shown)
    EXPECT_TRUE(allowed.contains(text)) << text.toStdString();
  EXPECT_TRUE(shown.contains(portMsg));
  EXPECT_FALSE(live.isOn("cwbFlow"));
  EXPECT_FALSE(live.isOn("cwbPh"));
  EXPECT_FALSE(live.isOn("cwbTherm"));
  EXPECT_TRUE(faults::allFinite(live.window->state()));

  // A new terminal behind the same name; "Comm Port" with 1 opens it again.
  e2e::DghSimProcess second({"--link", link});
  ASSERT_FALSE(second.devicePath().isEmpty());
  live.answers.push_back(QStringLiteral("1"));
  live.window->commPortCommand();
  EXPECT_EQ(live.takeMessages(), QStringList());
  ASSERT_TRUE(live.line.portOpen());
  live.switchAllOn();
  live.window->readTick();
  EXPECT_EQ(live.takeMessages(), QStringList());
  EXPECT_GT(live.window->state().ph1mV, 2500);
}

// The disk is made to fill up under the log file by a limit on the size of files this process
// may write (the system then refuses the write as it does on a full disk, with its own reason).
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a refused write, not the end of the process
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

private:
  rlimit m_old{};
  void (*m_oldHandler)(int) = nullptr;
};

TEST(FaultsSurvived, ADiskFullMidRunEndsLoggingAndKeepsEveryWholeRecord) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("run.csv"));
  testsupport::FakeClock clock(1000);
  testsupport::SimulatedWindow rig(clock);
  frmMain &window = rig.window;
  testsupport::RecordingMessages &messages = rig.messages;
  ASSERT_TRUE(window.load());
  auto *controller = window.findChild<logging::LogController *>();
  auto *tmrLogger = window.findChild<QTimer *>(QStringLiteral("tmrLogger"));
  ASSERT_TRUE(controller && tmrLogger);

  controller->startLogging(logging::LogChoice{true, false, path, 100});
  ASSERT_TRUE(controller->isLogging());
  for (int i = 0; i < 3; ++i)
    fire(tmrLogger);
  QFile file(path);
  const qint64 sizeBeforeFull = file.size();
  const QByteArray whole = [&] {
    file.open(QIODevice::ReadOnly);
    return file.readAll();
  }();
  file.close();
  ASSERT_TRUE(whole.endsWith("\r\n"));
  ASSERT_EQ(whole.count("\r\n"), 16 + 3);

  {
    // Room for part of one more record only.
    FileSizeLimit full(rlim_t(sizeBeforeFull + 20));
    fire(tmrLogger);
    window.readTick(); // the program goes on
  }

  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.contains(path)) << messages.shown[0].text.toStdString();
  EXPECT_TRUE(messages.shown[0].text.contains(QLatin1String("cannot be written")));
  EXPECT_FALSE(controller->isLogging());
  EXPECT_FALSE(controller->isFileOpen());
  EXPECT_FALSE(tmrLogger->isActive());
  EXPECT_EQ(window.findChild<QLabel *>(QStringLiteral("Panel4"))->text(),
            QStringLiteral("Not Logging"));
  EXPECT_TRUE(window.findChild<QAction *>(QStringLiteral("mnuLogSetup"))->isEnabled());
  EXPECT_FALSE(window.findChild<QAction *>(QStringLiteral("mnuStop"))->isEnabled());

  // Every record written before the disk filled is kept whole, and nothing of the one that did
  // not fit.
  file.open(QIODevice::ReadOnly);
  EXPECT_EQ(file.readAll(), whole);
  file.close();

  // With room again, logging can be set up anew and appends after the kept records.
  controller->startLogging(logging::LogChoice{true, true, path, 100});
  ASSERT_TRUE(controller->isLogging());
  fire(tmrLogger);
  file.open(QIODevice::ReadOnly);
  const QByteArray after = file.readAll();
  EXPECT_TRUE(after.startsWith(whole));
  EXPECT_EQ(after.count("\r\n"), 2 * 16 + 4);
}
