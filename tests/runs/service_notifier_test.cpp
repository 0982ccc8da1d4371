#include "runs/service_notifier.h"
#include "tests/runs/notify_socket.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace runs;

namespace {

TEST(ServiceNotifier, SaysReadyPingsTheWatchdogFromItsThreadAndSaysStopping) {
  QTemporaryDir dir;
  const QString path = dir.filePath("notify");
  NotifySocket socket(path);
  ASSERT_TRUE(socket.bound());
  qputenv("NOTIFY_SOCKET", QFile::encodeName(path));
  qputenv("WATCHDOG_USEC", "200000");
  qputenv("WATCHDOG_PID", QByteArray::number(::getpid()));
  ServiceNotifier notifier;
  EXPECT_TRUE(notifier.isActive());
  EXPECT_EQ(notifier.watchdogPingMs(), 100);

  notifier.ready();
  const QList<QByteArray> first = socket.receiveUntil("READY=1");
  EXPECT_EQ(first, QList<QByteArray>{"READY=1"}); // nothing before the event loop has run
  EXPECT_EQ(socket.receiveUntil("WATCHDOG=1").value(0), "WATCHDOG=1");
  notifier.stopping();
  EXPECT_EQ(socket.receiveUntil("STOPPING=1").last(), "STOPPING=1");
  qunsetenv("NOTIFY_SOCKET");
  qunsetenv("WATCHDOG_USEC");
  qunsetenv("WATCHDOG_PID");
}

} // namespace
