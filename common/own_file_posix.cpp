// The one place that opens, appends to and replaces the program's own files, and asks the
// operating system to put their data on the disk.
#include "common/own_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {
namespace {

QString reason(const QString &path, int error) {
  return QStringLiteral("%1: %2").arg(path, qt_error_string(error));
}

const char *kindName(mode_t mode) {
  if (S_ISLNK(mode))
    return "a symbolic link";
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISDIR(mode))
    return "a folder";
  if (S_ISCHR(mode))
    return "a character device";
  if (S_ISBLK(mode))
    return "a block device";
  if (S_ISSOCK(mode))
    return "a socket";
  return "not a regular file";
}

QString refusedAs(const QString &path, mode_t mode) {
  return QStringLiteral("%1 is %2, not a regular file")
      .arg(path, QLatin1String(kindName(mode)));
}

// `follow`: only for files the operator chose; ours are never followed through a link.
int openRegular(const QString &path, int flags, bool follow, QString &error, bool *missing) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(),
                        flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW),
                        0666);
  if (fd < 0) {
    const int e = errno;
    if (e == ENOENT && missing) {
      *missing = true;
      return -1;
    }
    // ELOOP (a link), ENXIO (a FIFO nobody reads, a socket), EISDIR: say what is there.
    struct stat st {};
    const int looked = follow ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st);
    error = looked == 0 && !S_ISREG(st.st_mode) ? refusedAs(path, st.st_mode) : reason(path, e);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = refusedAs(path, st.st_mode);
    ::close(fd);
    return -1;
  }
  // A regular file never blocks; back to ordinary reads and writes.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// Writes all of `bytes`; on failure the errno of the write that failed (a short write is
// followed by one that says why).
int writeAll(int fd, const char *data, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size_t(size - done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n < 0 ? errno : EIO;
    done += n;
  }
  return 0;
}

int syncData(int fd) {
  while (::fsync(fd) != 0)
    if (errno != EINTR)
      return errno;
  return 0;
}

// A new file's name lives in its folder: the folder is synced too, or a power cut may lose it.
void syncFolderOf(const QString &path) {
  const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

QString append(const QString &path, const QByteArray &bytes, const AppendOptions &options,
               bool follow) {
  QString error;
  bool missing = false;
  const int existing = openRegular(path, O_RDWR | O_APPEND, follow, error, &missing);
  const int fd = missing ? openRegular(path, O_RDWR | O_APPEND | O_CREAT, follow, error, nullptr)
                         : existing;
  if (fd < 0)
    return error;
  struct stat st {};
  ::fstat(fd, &st);
  const off_t before = st.st_size;
  QByteArray text;
  char last = '\n';
  if (before == 0)
    text = options.header;
  else if (::pread(fd, &last, 1, before - 1) == 1 && last != '\n')
    text = "\n";
  text += bytes;
  int failed = writeAll(fd, text.constData(), text.size());
  if (!failed && options.sync)
    failed = syncData(fd);
  if (failed) {
    // Whatever part went in is taken out again, and that is made to last too: the file stays one
    // of whole lines, and the next append continues it.
    while (::ftruncate(fd, before) != 0 && errno == EINTR) {
    }
    syncData(fd);
  }
  ::close(fd);
  if (missing)
    syncFolderOf(path);
  return failed ? reason(path, failed) : QString();
}

} // namespace

QString ownFileRefusal(const QString &path) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
    return {};
  return refusedAs(path, st.st_mode);
}

OwnFileRead readOwnFile(const QString &path, qint64 maxBytes, bool startOnly) {
  OwnFileRead read;
  const int fd = openRegular(path, O_RDONLY, false, read.error, &read.missing);
  if (fd < 0)
    return read;
  struct stat st {};
  ::fstat(fd, &st);
  if (st.st_size > maxBytes && !startOnly) {
    read.error = QStringLiteral("%1 holds %2 bytes, more than the %3 a file of its kind may hold")
                     .arg(path)
                     .arg(qint64(st.st_size))
                     .arg(maxBytes);
    ::close(fd);
    return read;
  }
  // Read to the end, but never past the limit: a file still growing cannot make us read on.
  read.bytes.resize(qsizetype(std::min<qint64>(maxBytes, st.st_size) + 1));
  qint64 got = 0;
  while (got < read.bytes.size()) {
    const ssize_t n = ::read(fd, read.bytes.data() + got, size_t(read.bytes.size() - got));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      read.error = reason(path, errno);
      break;
    }
    if (n == 0)
      break;
    got += n;
  }
  ::close(fd);
  read.bytes.truncate(qsizetype(got));
  read.truncated = got > maxBytes;
  if (read.truncated)
    read.bytes.truncate(qsizetype(maxBytes));
  if (read.error.isEmpty() && read.truncated && !startOnly)
    read.error = QStringLiteral("%1 grew beyond %2 bytes while it was read").arg(path).arg(maxBytes);
  return read;
}

OwnFileReader::OwnFileReader(const QString &path) : m_path(path) {
  m_fd = openRegular(path, O_RDONLY, false, m_error, &m_missing);
}

OwnFileReader::~OwnFileReader() {
  if (m_fd >= 0)
    ::close(m_fd);
}

OwnFileReader::OwnFileReader(OwnFileReader &&other) noexcept
    : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1)),
      m_missing(other.m_missing), m_error(std::move(other.m_error)),
      m_buffer(std::move(other.m_buffer)), m_at(other.m_at), m_end(other.m_end) {}

bool OwnFileReader::fill() {
  constexpr qsizetype chunk = 64 * 1024;
  if (m_end || m_fd < 0)
    return false;
  m_buffer.remove(0, m_at);
  m_at = 0;
  const qsizetype had = m_buffer.size();
  m_buffer.resize(had + chunk);
  ssize_t n;
  do
    n = ::read(m_fd, m_buffer.data() + had, size_t(chunk));
  while (n < 0 && errno == EINTR);
  if (n < 0)
    m_error = reason(m_path, errno);
  m_buffer.resize(had + std::max<ssize_t>(n, 0));
  if (n <= 0)
    m_end = true;
  return n > 0;
}

bool OwnFileReader::readLine(QByteArray &line, qsizetype maxLine, bool *cut) {
  line.clear();
  if (cut)
    *cut = false;
  bool any = false;
  for (;;) {
    const qsizetype newline = m_buffer.indexOf('\n', m_at);
    const qsizetype end = newline < 0 ? m_buffer.size() : newline;
    if (end > m_at) {
      any = true;
      const qsizetype room = maxLine - line.size();
      if (end - m_at > room && cut)
        *cut = true;
      line.append(m_buffer.constData() + m_at, std::min(end - m_at, std::max<qsizetype>(room, 0)));
    }
    if (newline >= 0) {
      m_at = newline + 1;
      return true;
    }
    m_at = m_buffer.size();
    if (!fill())
      return any && m_error.isEmpty();
  }
}

OwnFileLock::OwnFileLock(const QString &path, int waitMs) {
  m_fd = openRegular(path, O_RDWR | O_CREAT, false, m_error, nullptr);
  if (m_fd < 0)
    return;
  for (int waited = 0;; waited += 20) {
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
      return;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      m_error = reason(path, errno);
      break;
    }
    if (waited >= waitMs) {
      m_error = QStringLiteral("another program holds %1").arg(path);
      break;
    }
    ::usleep(20000);
  }
  ::close(m_fd);
  m_fd = -1;
}

OwnFileLock::~OwnFileLock() {
  if (m_fd >= 0)
    ::close(m_fd); // and with it the lock
}

QString appendWhole(const QString &path, const QByteArray &bytes, const AppendOptions &options) {
  return append(path, bytes, options, false);
}

QString appendChosenFile(const QString &path, const QByteArray &bytes) {
  return append(path, bytes, AppendOptions{}, true);
}

QString replaceWhole(const QString &path, const QByteArray &bytes) {
  if (const QString refusal = ownFileRefusal(path); !refusal.isEmpty())
    return refusal;
  struct stat old {};
  const mode_t mode =
      ::stat(QFile::encodeName(path).constData(), &old) == 0 ? old.st_mode & 07777 : 0644;
  QByteArray name = QFile::encodeName(path) + ".XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    return reason(path, errno);
  int failed = writeAll(fd, bytes.constData(), bytes.size());
  if (!failed)
    failed = syncData(fd);
  ::fchmod(fd, mode); // mkostemp makes it 0600; the file it replaces kept its own
  ::close(fd);
  if (!failed && ::rename(name.constData(), QFile::encodeName(path).constData()) != 0)
    failed = errno;
  if (failed) {
    ::unlink(name.constData());
    return reason(path, failed);
  }
  syncFolderOf(path);
  return {};
}

} // namespace common
