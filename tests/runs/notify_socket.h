#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

} // namespace
