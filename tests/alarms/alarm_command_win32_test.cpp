// The alarm command on Windows: cmd.exe /c with the fields in its environment, and at its limit
// the command ended together with every process it started (its job object).
#include "alarms/alarm_command.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

bool waitFor(const std::function<bool()> &done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return done();
}

TEST(AlarmCommandOnWindows, RunsThroughCmdWithTheFieldsAndReportsHowItEnded) {
  const struct {
    const char *command;
    QString reason; // empty: no failure
  } cases[] = {
      {R"(if "%BRELLIS_ALARM_QUANTITY%,%BRELLIS_ALARM_EVENT%"=="ph1,raised" (exit 0) else (exit 5))",
       {}},
      {"exit 3", "exit status 3"},
  };
  for (const auto &c : cases) {
    alarms::AlarmCommand command(QString::fromUtf8(c.command));
    QStringList reasons;
    QObject::connect(&command, &alarms::AlarmCommand::failed,
                     [&](const alarms::CommandFields &, const QString &why) { reasons << why; });
    alarms::CommandFields fields;
    fields.quantity = "ph1";
    fields.event = "raised";
    ASSERT_TRUE(command.run(fields, 0));
    ASSERT_TRUE(waitFor([&] { return command.running() == 0; }, 30000)) << c.command;
    EXPECT_EQ(reasons, c.reason.isEmpty() ? QStringList() : QStringList{c.reason}) << c.command;
  }
}

TEST(AlarmCommandOnWindows, AtItsLimitTheCommandAndWhatItStartedEnd) {
  // cmd starts a second cmd that waits on ping: both are the run's, and both must go.
  alarms::AlarmCommand command("cmd /c ping -n 60 127.0.0.1 > nul", 1500);
  QStringList reasons;
  QObject::connect(&command, &alarms::AlarmCommand::failed,
                   [&](const alarms::CommandFields &, const QString &why) { reasons << why; });
  ASSERT_TRUE(command.run(alarms::CommandFields{}, 0));
  ASSERT_TRUE(waitFor([&] { return command.running() == 0; }, 30000));
  EXPECT_EQ(reasons, QStringList{"was killed after 1.5 s"});
  // The job is empty, so the run is no longer watched: nothing it started lives on.
  EXPECT_TRUE(waitFor([&] { return command.watching() == 0; }, 30000));
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
