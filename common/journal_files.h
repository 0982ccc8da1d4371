#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace common {

// `fileName` in the program's state folder: $XDG_STATE_HOME/brellis, or ~/.local/state/brellis
// when XDG_STATE_HOME is unset or relative (a relative one is to be ignored); on Windows
// %LOCALAPPDATA%\brellis.
QString stateFilePath(const QString &fileName);

// A field of a journal's CSV line: UTF-8, quoted (its quotes doubled) when it holds a comma, a
// quote or a line break.
inline QByteArray csvField(const QString &text) {
  QByteArray utf8 = text.toUtf8();
  if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
    return utf8;
  utf8.replace("\"", "\"\"");
  return '"' + utf8 + '"';
}

// A journal of whole lines kept in two files: the standing one, and while a log file is written
// one beside it ("<log file><suffix>"). Each line goes to the operating system in one write, whole
// or not at all (appendWhole), with the header first in a new or empty file; not synced, as a
// journal's lines come with every event. A file of our own: a link, FIFO or device in its place is
// refused and never written. A file that cannot be written is reported once through `failed`
// (its path and the reason); the line still goes to the other file, and the failed one is tried
// again with the next line.
class JournalFiles {
public:
  using Failure = std::function<void(const QString &path, const QString &reason)>;

  JournalFiles(QString standingPath, QByteArray header, QString suffix, Failure failed);

  // The log file being written, or empty when none is.
  void setLogFile(const QString &logFilePath);
  QString runPath() const { return m_run.path; }

  void append(const QByteArray &line);

private:
  struct Target {
    QString path;
    bool reported = false;
  };
  void write(Target &target, const QByteArray &line);

  Target m_standing;
  Target m_run;
  QByteArray m_header;
  QString m_suffix;
  Failure m_failed;
};

} // namespace common
