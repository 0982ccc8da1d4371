// The one place that opens, appends to and replaces the program's own files on Windows, and asks
// the system to put their data on the disk (FlushFileBuffers). A file is opened without
// following a link (FILE_FLAG_OPEN_REPARSE_POINT) and shared for reading, writing and deletion,
// so that a reader never stops a replace.
#include "common/own_file.h"

#include <QDir>

#include <io.h>

#include <fcntl.h>
#include <windows.h>

namespace common {
namespace {

QString reason(const QString &path, DWORD error) {
  return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(int(error)));
}

const wchar_t *wide(const QString &path) {
  return reinterpret_cast<const wchar_t *>(path.utf16());
}

// What stands at `path` when it is not a regular file, in the words of the POSIX sibling.
const char *kindName(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return "a symbolic link";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return "a folder";
  return "not a regular file";
}

QString refusedAs(const QString &path, const char *kind) {
  return QStringLiteral("%1 is %2, not a regular file")
      .arg(QDir::toNativeSeparators(path), QLatin1String(kind));
}

// `follow`: only for files the operator chose; ours are never followed through a link.
HANDLE openRegular(const QString &path, DWORD access, DWORD disposition, bool follow,
                   QString &error, bool *missing) {
  const QString native = QDir::toNativeSeparators(path);
  const HANDLE file = CreateFileW(
      wide(native), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      disposition, FILE_ATTRIBUTE_NORMAL | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if ((e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) && missing) {
      *missing = true;
      return INVALID_HANDLE_VALUE;
    }
    const DWORD attributes = GetFileAttributesW(wide(native));
    error = attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                ? refusedAs(path, kindName(attributes))
                : reason(path, e);
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info);
  const DWORD odd = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (GetFileType(file) != FILE_TYPE_DISK || !known || (info.dwFileAttributes & odd)) {
    error = refusedAs(path, GetFileType(file) != FILE_TYPE_DISK ? "a device"
                                                                : kindName(info.dwFileAttributes));
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

qint64 sizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? size.QuadPart : 0;
}

bool seek(HANDLE file, qint64 offset, DWORD from = FILE_BEGIN) {
  LARGE_INTEGER at{};
  at.QuadPart = offset;
  return SetFilePointerEx(file, at, nullptr, from);
}

// Writes all of `data`; on failure the error of the write that failed.
DWORD writeAll(HANDLE file, const char *data, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    const DWORD chunk = DWORD(std::min<qint64>(size - done, 1 << 30));
    DWORD n = 0;
    if (!WriteFile(file, data + done, chunk, &n, nullptr))
      return GetLastError();
    if (n == 0)
      return ERROR_WRITE_FAULT;
    done += n;
  }
  return 0;
}

DWORD syncData(HANDLE file) { return FlushFileBuffers(file) ? 0 : GetLastError(); }

QString append(const QString &path, const QByteArray &bytes, const AppendOptions &options,
               bool follow) {
  QString error;
  const HANDLE file =
      openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, follow, error, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return error;
  const qint64 before = sizeOf(file);
  QByteArray text;
  char last = '\n';
  DWORD got = 0;
  if (before == 0)
    text = options.header;
  else if (seek(file, before - 1) && ReadFile(file, &last, 1, &got, nullptr) && got == 1 &&
           last != '\n')
    text = "\n";
  text += bytes;
  DWORD failed = seek(file, 0, FILE_END) ? writeAll(file, text.constData(), text.size())
                                         : GetLastError();
  if (!failed && options.sync)
    failed = syncData(file);
  if (failed) {
    // Whatever part went in is taken out again, and that is made to last too: the file stays one
    // of whole lines, and the next append continues it.
    if (seek(file, before))
      SetEndOfFile(file);
    syncData(file);
  }
  CloseHandle(file);
  return failed ? reason(path, failed) : QString();
}

// A CRT descriptor that owns `file`, for the classes whose handle is an int.
int descriptorOf(HANDLE file) {
  const int fd = _open_osfhandle(intptr_t(file), _O_RDONLY | _O_BINARY);
  if (fd < 0)
    CloseHandle(file);
  return fd;
}

} // namespace

QString ownFileRefusal(const QString &path) {
  const DWORD attributes = GetFileAttributesW(wide(QDir::toNativeSeparators(path)));
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return {};
  return refusedAs(path, kindName(attributes));
}

OwnFileRead readOwnFile(const QString &path, qint64 maxBytes, bool startOnly) {
  OwnFileRead read;
  const HANDLE file = openRegular(path, GENERIC_READ, OPEN_EXISTING, false, read.error, &read.missing);
  if (file == INVALID_HANDLE_VALUE)
    return read;
  const qint64 size = sizeOf(file);
  if (size > maxBytes && !startOnly) {
    read.error = QStringLiteral("%1 holds %2 bytes, more than the %3 a file of its kind may hold")
                     .arg(QDir::toNativeSeparators(path))
                     .arg(size)
                     .arg(maxBytes);
    CloseHandle(file);
    return read;
  }
  // Read to the end, but never past the limit: a file still growing cannot make us read on.
  read.bytes.resize(qsizetype(std::min<qint64>(maxBytes, size) + 1));
  qint64 got = 0;
  while (got < read.bytes.size()) {
    DWORD n = 0;
    if (!ReadFile(file, read.bytes.data() + got, DWORD(read.bytes.size() - got), &n, nullptr)) {
      read.error = reason(path, GetLastError());
      break;
    }
    if (n == 0)
      break;
    got += n;
  }
  CloseHandle(file);
  read.bytes.truncate(qsizetype(got));
  read.truncated = got > maxBytes;
  if (read.truncated)
    read.bytes.truncate(qsizetype(maxBytes));
  if (read.error.isEmpty() && read.truncated && !startOnly)
    read.error = QStringLiteral("%1 grew beyond %2 bytes while it was read")
                     .arg(QDir::toNativeSeparators(path))
                     .arg(maxBytes);
  return read;
}

OwnFileReader::OwnFileReader(const QString &path) : m_path(path) {
  const HANDLE file = openRegular(path, GENERIC_READ, OPEN_EXISTING, false, m_error, &m_missing);
  if (file != INVALID_HANDLE_VALUE)
    m_fd = descriptorOf(file);
}

OwnFileReader::~OwnFileReader() {
  if (m_fd >= 0)
    _close(m_fd);
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
  DWORD n = 0;
  const bool ok = ReadFile(HANDLE(_get_osfhandle(m_fd)), m_buffer.data() + had, DWORD(chunk), &n,
                           nullptr);
  if (!ok)
    m_error = reason(m_path, GetLastError());
  m_buffer.resize(had + qsizetype(ok ? n : 0));
  if (!ok || n == 0)
    m_end = true;
  return ok && n > 0;
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
  const HANDLE file =
      openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, false, m_error, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  for (int waited = 0;; waited += 20) {
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole)) {
      m_fd = descriptorOf(file); // closing it drops the lock
      return;
    }
    const DWORD e = GetLastError();
    if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING) {
      m_error = reason(path, e);
      break;
    }
    if (waited >= waitMs) {
      m_error = QStringLiteral("another program holds %1").arg(QDir::toNativeSeparators(path));
      break;
    }
    Sleep(20);
  }
  CloseHandle(file);
}

OwnFileLock::~OwnFileLock() {
  if (m_fd >= 0)
    _close(m_fd);
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
  // A name of its own beside the file: the rename stays within one volume.
  const QString temporary = QStringLiteral("%1.%2-%3.new")
                                .arg(QDir::toNativeSeparators(path))
                                .arg(GetCurrentProcessId())
                                .arg(GetTickCount64());
  const HANDLE file = CreateFileW(wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return reason(path, GetLastError());
  DWORD failed = writeAll(file, bytes.constData(), bytes.size());
  if (!failed)
    failed = syncData(file);
  CloseHandle(file);
  if (!failed &&
      !MoveFileExW(wide(temporary), wide(QDir::toNativeSeparators(path)),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failed = GetLastError();
  if (failed) {
    DeleteFileW(wide(temporary));
    return reason(path, failed);
  }
  return {};
}

} // namespace common
