#include "runs/safe_file.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace runs {
namespace {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Why a file at `path` that open() refused with `error` is refused, in the reader's words.
QString refusal(int error) {
  if (error == ELOOP)
    return QStringLiteral("it is a symbolic link");
  if (error == ENXIO)
    return QStringLiteral("it is not a regular file");
  return systemError(error);
}

QString typeRefusal(const struct stat &info) {
  if (!S_ISREG(info.st_mode))
    return QStringLiteral("it is not a regular file");
  return {};
}

} // namespace

FileRead readRegularFile(const QString &path, qint64 maxBytes) {
  FileRead result;
  const QByteArray name = QFile::encodeName(path);
  const int fd =
      ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    result.missing = errno == ENOENT;
    result.error = result.missing ? QStringLiteral("there is no such file") : refusal(errno);
    return result;
  }
  const QString tooLarge = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    result.error = systemError(errno);
  else
    result.error = typeRefusal(info);
  if (result.error.isEmpty() && info.st_size > maxBytes)
    result.error = tooLarge;
  // Read one byte past the limit, so a file that grew after fstat is refused too.
  while (result.error.isEmpty()) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      result.error = systemError(errno);
    else if (n == 0)
      break;
    else if (result.data.append(buffer, n).size() > maxBytes)
      result.error = tooLarge;
  }
  ::close(fd);
  if (!result.error.isEmpty())
    result.data.clear();
  return result;
}

QString replaceFile(const QString &path, const QByteArray &data) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder))
    return QStringLiteral("the folder %1 cannot be created").arg(folder);
  QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return systemError(errno);
  QString error;
  qint64 written = 0;
  while (error.isEmpty() && written < data.size()) {
    const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
    if (n < 0 && errno != EINTR)
      error = systemError(errno);
    else if (n > 0)
      written += n;
  }
  if (error.isEmpty() && ::fsync(fd) != 0)
    error = systemError(errno);
  if (::close(fd) != 0 && error.isEmpty())
    error = systemError(errno);
  if (error.isEmpty() && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
    error = systemError(errno);
  if (!error.isEmpty()) {
    ::unlink(temporary.constData());
    return error;
  }
  // The rename itself is durable only once the folder is synced.
  const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

AppendFile::~AppendFile() { close(); }

QString AppendFile::open(const QString &path) {
  close();
  QDir().mkpath(QFileInfo(path).absolutePath());
  const int fd =
      ::open(QFile::encodeName(path).constData(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0)
    return refusal(errno);
  struct stat info {};
  QString error = ::fstat(fd, &info) == 0 ? typeRefusal(info) : systemError(errno);
  if (!error.isEmpty()) {
    ::close(fd);
    return error;
  }
  m_fd = fd;
  return {};
}

void AppendFile::close() {
  if (m_fd >= 0)
    ::close(m_fd);
  m_fd = -1;
}

qint64 AppendFile::size() const {
  struct stat info {};
  return m_fd >= 0 && ::fstat(m_fd, &info) == 0 ? qint64(info.st_size) : -1;
}

QString AppendFile::append(const QByteArray &data, qint64 sizeBefore) {
  if (m_fd < 0)
    return QStringLiteral("the file is not open");
  ssize_t n;
  do
    n = ::write(m_fd, data.constData(), size_t(data.size()));
  while (n < 0 && errno == EINTR);
  if (n == data.size())
    return {};
  const QString error =
      n < 0 ? systemError(errno) : QStringLiteral("only part of the line was written");
  // A full disk may have taken part of the text: a journal keeps whole lines only. If the cut
  // fails too, the write's own error is still the one to report.
  if (sizeBefore >= 0) {
    [[maybe_unused]] const int cut = ::ftruncate(m_fd, sizeBefore);
  }
  return error;
}

} // namespace runs
