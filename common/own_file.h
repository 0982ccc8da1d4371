#pragma once

#include <QByteArray>
#include <QString>

// The program's own files: its records (calibration history and head), its journals, its run
// file and its settings store. Such a file is only ever a regular file in a folder of ours, so:
//
// - it is opened without following a symbolic link (O_NOFOLLOW) and without waiting (O_NONBLOCK:
//   a FIFO planted in its place cannot block the caller), and anything but a regular file (a
//   link, a FIFO, a device, a socket, a folder) is refused by name and never read or written;
// - an append goes in whole or not at all: a write that stops part-way (disk full, file size
//   limit) is cut back to the file's length before, so the file keeps only whole records;
// - a failure comes back as a text that names the file and the system's reason
//   ("/home/a/.local/state/brellis/alarms.csv: No space left on device"); success as an empty
//   text.
//
// Every function may be called from any thread; none keeps a file open after it returns.
namespace common {

// Why `path` cannot be one of our files: it exists as something other than a regular file
// ("<path> is a FIFO, not a regular file"). Empty when it is a regular file or does not exist.
// Looks without opening; for files that another library opens (the settings store).
QString ownFileRefusal(const QString &path);

// What readOwnFile found.
struct OwnFileRead {
  QByteArray bytes;
  bool missing = false;   // no file there (not an error: `error` is empty)
  bool truncated = false; // with startOnly: the file holds more than `bytes`
  QString error;          // refused, unreadable or larger than the limit
};

// The whole of the file at `path`, when it is a regular file of at most `maxBytes` bytes; with
// `startOnly`, a larger one gives its first maxBytes instead of an error.
OwnFileRead readOwnFile(const QString &path, qint64 maxBytes, bool startOnly = false);

// A file of ours opened for reading in pieces, for files too large to hold whole. Move-only.
class OwnFileReader {
public:
  // Opens `path` as readOwnFile does; check missing() and error().
  explicit OwnFileReader(const QString &path);
  ~OwnFileReader();
  OwnFileReader(OwnFileReader &&other) noexcept;
  OwnFileReader &operator=(OwnFileReader &&) = delete;
  OwnFileReader(const OwnFileReader &) = delete;
  OwnFileReader &operator=(const OwnFileReader &) = delete;

  bool isOpen() const { return m_fd >= 0; }
  bool missing() const { return m_missing; }
  QString error() const { return m_error; }
  // The next line without its '\n', at most maxLine bytes of it (the rest of a longer line is
  // skipped, and *cut is set). False at the end of the file or on a read error (then error()).
  bool readLine(QByteArray &line, qsizetype maxLine, bool *cut = nullptr);

private:
  bool fill();

  QString m_path;
  int m_fd = -1;
  bool m_missing = false;
  QString m_error;
  QByteArray m_buffer;
  qsizetype m_at = 0;
  bool m_end = false;
};

// An exclusive lock (flock) on the file at `path`, a file of ours made empty when missing, held
// while the object lives: for a file that several programs append to. Waits up to `waitMs` for
// another holder; check error() (empty when locked). The lock file is left in place.
class OwnFileLock {
public:
  OwnFileLock(const QString &path, int waitMs);
  ~OwnFileLock();
  OwnFileLock(const OwnFileLock &) = delete;
  OwnFileLock &operator=(const OwnFileLock &) = delete;

  // "<path>: <reason>", "another program holds <path>", or empty when locked.
  QString error() const { return m_error; }

private:
  int m_fd = -1;
  QString m_error;
};

struct AppendOptions {
  // Written before `bytes` when the file is new or empty: a journal's column names.
  QByteArray header;
  // On the disk (fsync) before returning, not merely handed to the operating system. A cut-back
  // after a failure is synced either way.
  bool sync = true;
};

// Appends `bytes` (one or more whole lines) to the file at `path`, creating it (mode 0666 less
// the umask) when missing; the folder must exist. When the file's last line lacks its end (left
// so by an older program or by hand), the bytes start on a line of their own.
QString appendWhole(const QString &path, const QByteArray &bytes, const AppendOptions &options = {});

// Replaces the file at `path` with `bytes`, on the disk when it returns: written to a new file
// beside it, synced, and renamed over it, so a reader sees the old bytes or the new, never a mix.
// Whatever was at `path` (a link included) is replaced, never written through; a folder or a
// FIFO there is refused.
QString replaceWhole(const QString &path, const QByteArray &bytes);

// Appends to a file that is not ours, such as one the operator chose for an export: follows
// links, as the operator means it to. Whole or not at all, and on the disk, as appendWhole.
QString appendChosenFile(const QString &path, const QByteArray &bytes);

} // namespace common
