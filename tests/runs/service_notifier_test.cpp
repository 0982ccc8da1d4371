#include "runs/service_notifier.h"

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

// A datagram socket standing in for systemd's notify socket.
class NotifySocket {
public:
  explicit NotifySocket(const QString &path) {
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
  }
  ~NotifySocket() { ::close(m_fd); }
  bool bound() const { return m_bound; }

  // The datagrams received until one equals `wanted` (included), running the event loop
  // meanwhile; gives up after 20 s.
  QList<QByteArray> receiveUntil(const QByteArray &wanted) {
    QList<QByteArray> received;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && (received.isEmpty() || received.last() != wanted)) {
      char buffer[256];
      const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (n >= 0)
        received.append(QByteArray(buffer, int(n)).trimmed());
      else {
        pollfd waiting{m_fd, POLLIN, 0};
        ::poll(&waiting, 1, 5);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      }
    }
    return received;
  }

private:
  int m_fd = -1;
  bool m_bound = false;
};

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
