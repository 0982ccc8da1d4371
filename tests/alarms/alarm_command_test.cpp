// The alarm command's whole tree ends at its limit: jobs it put in the background and sessions
// of their own included, and nothing of them is left running or unreaped. Read from /proc.
#include "alarms/alarm_command.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <unistd.h>

using namespace alarms;

namespace {

struct Seen {
  QStringList sleeps;  // command lines of the test's sleeps still there, zombies included
  QStringList zombies; // children of this process that ended and were never reaped
};

Seen look() {
  Seen seen;
  for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    entry.toInt(&number);
    if (!number)
      continue;
    QFile cmdline("/proc/" + entry + "/cmdline");
    QFile stat("/proc/" + entry + "/stat");
    if (!cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
      continue;
    const QByteArray line = cmdline.readAll().replace('\0', ' ').trimmed();
    const QByteArray status = stat.readAll();
    const QList<QByteArray> fields = status.mid(status.lastIndexOf(')') + 2).split(' ');
    const bool zombie = fields.value(0) == "Z";
    if (line.startsWith("sleep 119"))
      seen.sleeps << QString::fromUtf8(line);
    if (zombie && fields.value(1).toInt() == ::getpid())
      seen.zombies << QString::fromUtf8(status);
  }
  return seen;
}

bool waitFor(const std::function<bool()> &done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return done();
}

TEST(AlarmCommand, EveryProcessOfARunEndsAtItsLimitHoweverItWasStarted) {
  ASSERT_TRUE(look().sleeps.isEmpty()) << look().sleeps.join(", ").toStdString();
  const struct {
    const char *command;
    int sleeps; // how many of the test's sleeps it starts
  } runs[] = {
      {"sleep 1191 & exit 0", 1},                                  // a job left in the background
      {"setsid sleep 1192 & exit 0", 1},                           // a session of its own
      {"setsid sh -c 'sleep 1193 & sleep 1194' & sleep 1195", 3}, // still running at the limit
  };
  AlarmCommand command(QString(), 1500); // the parent of the runs' own
  int started = 0;
  for (const auto &run : runs) {
    AlarmCommand *each = new AlarmCommand(QString::fromUtf8(run.command), 1500, &command);
    ASSERT_TRUE(each->run({QString::fromUtf8(run.command), "raised", {}, {}, {}, {}, {}, {}}, 0));
    started += run.sleeps;
  }
  // They all run before the limit (else the test would prove nothing).
  ASSERT_TRUE(waitFor([&] { return look().sleeps.size() == started; }, 20000))
      << look().sleeps.join(", ").toStdString();
  const auto allEnded = [&] {
    for (const AlarmCommand *each : command.findChildren<AlarmCommand *>())
      if (each->running() > 0 || each->watching() > 0)
        return false;
    return true;
  };
  ASSERT_TRUE(waitFor(allEnded, 60000));
  const Seen after = look();
  EXPECT_TRUE(after.sleeps.isEmpty()) << after.sleeps.join(", ").toStdString();
  EXPECT_TRUE(after.zombies.isEmpty()) << after.zombies.join(", ").toStdString();
}

} // namespace
