#include "instrument/port_lock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tiltdgh {

namespace {

QString dialoutText() {
  return QStringLiteral("permission denied: serial devices belong to the \"dialout\" group; add "
                        "your user to it (sudo adduser $USER dialout) and log in again");
}

// Why the device could not be opened at all, as the operator is told.
PortError openFailure(int error, QString &errorText) {
  errorText = QString::fromLocal8Bit(std::strerror(error));
  switch (error) {
  case ENOENT:
  case ENOTDIR:
  case ENXIO:
  case ENODEV:
  case EIO:
    return PortError::InvalidPort;
  case EBUSY: // TIOCEXCL set by another program
    return PortError::PortInUse;
  case EACCES:
  case EPERM:
    errorText = dialoutText();
    return PortError::Other;
  default:
    return PortError::Other;
  }
}

} // namespace

PortError PortLock::claim(const QString &device, QString &errorText) {
  release();
  // Opened without waiting for a carrier; this descriptor only holds the lock and asks the
  // terminal layer, the port's traffic goes through QSerialPort's own.
  const int fd =
      ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return openFailure(errno, errorText);
  PortError result = PortError::None;
  if (!::isatty(fd)) {
    errorText = QStringLiteral("%1 is not a serial device").arg(device);
    result = PortError::InvalidPort;
  }
#ifdef TIOCGEXCL
  // Root opens a device that another program holds with TIOCEXCL; the flag still tells.
  int exclusive = 0;
  if (result == PortError::None && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
    errorText = QStringLiteral("another program holds the device exclusively");
    result = PortError::PortInUse;
  }
#endif
  if (result == PortError::None && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    errorText = error == EWOULDBLOCK ? QStringLiteral("another program has locked the device")
                                     : QString::fromLocal8Bit(std::strerror(error));
    result = error == EWOULDBLOCK ? PortError::PortInUse : PortError::Other;
  }
  if (result != PortError::None) {
    ::close(fd);
    return result;
  }
  m_fd = fd;
  return PortError::None;
}

void PortLock::holdExclusively() {
#ifdef TIOCEXCL
  // No further open of the device succeeds, except by root, until the port is closed.
  m_exclusive = m_fd >= 0 && ::ioctl(m_fd, TIOCEXCL) == 0;
#endif
}

void PortLock::release() {
  if (m_fd < 0)
    return;
#ifdef TIOCNXCL
  // The terminal keeps the flag while any descriptor on it stays open (a pseudo-terminal's
  // other side): without this the next open would find its own old claim. Only our own flag is
  // cleared, never one that another program set.
  if (m_exclusive)
    ::ioctl(m_fd, TIOCNXCL);
#endif
  m_exclusive = false;
  ::close(m_fd); // drops the flock
  m_fd = -1;
}

bool PortLock::accessDenied(const QString &device, QString &errorText) {
  // Qt reports a lock held by another program and missing access rights alike.
  if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0 || errno != EACCES)
    return false;
  errorText = dialoutText();
  return true;
}

} // namespace tiltdgh
