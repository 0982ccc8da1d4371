#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The file operations the run file and the events journal need, done without trusting what
// sits at a path: a symbolic link at the last component is refused, never followed, and a FIFO
// or device is refused after a non-blocking open instead of hanging the caller.

namespace runs {

struct FileRead {
  bool missing = false; // nothing at the path: not a refusal
  QString error;        // why the file was refused; empty when `data` holds it whole
  QByteArray data;
};

// Reads a regular file of at most maxBytes. Never writes to, creates or truncates anything.
FileRead readRegularFile(const QString &path, qint64 maxBytes);

// Replaces the file at `path` with `data` atomically: a temporary file in the same folder is
// written, synced to disk and renamed over the old one, and the folder is synced, so a power
// cut leaves either the old contents or the new, never a mixture. The folder is created when
// missing. A symbolic link at `path` is replaced itself, not its target. Returns an error text,
// empty on success.
QString replaceFile(const QString &path, const QByteArray &data);

// A file appended to with one unbuffered write per call, so a killed program leaves whole
// writes only. Not copyable.
class AppendFile {
public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile &) = delete;
  AppendFile &operator=(const AppendFile &) = delete;

  // Opens (creating it and its folder when missing) for appending. Refuses a symbolic link or
  // anything that is not a regular file. Returns an error text, empty on success.
  QString open(const QString &path);
  bool isOpen() const { return m_fd >= 0; }
  void close();
  // The size now, or -1 when unknown.
  qint64 size() const;
  // Writes all of `data` at the end in one call; on a short or failed write cuts the file back
  // to `sizeBefore` and returns the error text (empty on success).
  QString append(const QByteArray &data, qint64 sizeBefore);

private:
  int m_fd = -1;
};

} // namespace runs
