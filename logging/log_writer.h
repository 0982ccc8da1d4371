#pragma once

#include "state/acquisition_state.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QString>
#include <QTime>

namespace logging {

// The one open log file. Every line written is handed to the operating system before the call
// returns, and the hand-over is checked, so a crash of the program loses no line that was
// reported written, and a full disk shows up at the line that did not fit. The writer shows no
// messages: a failing call returns false and leaves the reason in errorText(). Destroying the
// writer closes the file.
class LogWriter {
public:
  explicit LogWriter(const AcquisitionState &state);
  ~LogWriter();
  LogWriter(const LogWriter &) = delete;
  LogWriter &operator=(const LogWriter &) = delete;

  // Opens `path` for appending (created if missing, written after its last byte) or, when
  // `append` is false, for output (created, or emptied if it exists). A file still open is
  // closed first. On failure no file is open.
  bool openLogFile(const QString &path, bool append);
  // The 16 header lines with `today` and the probe coefficients as `state` holds them now.
  bool writeLogHeader(const QDate &today, const QLocale &locale = QLocale());
  // One record with the readings as `state` holds them now. With no file open this writes
  // nothing and succeeds: logging without a file is the operator's "No Save" choice.
  bool writeLogRecord(const QString &litersText, const QTime &time,
                      const QLocale &locale = QLocale());
  // Closes the file; false if the system reported an error while closing. Closing when no file
  // is open does nothing and succeeds.
  bool closeLogFile();

  bool isOpen() const { return m_file.isOpen(); }
  // The path of the open file, or of the last one tried.
  QString fileName() const { return m_file.fileName(); }
  // Why the last failing call failed, as the operating system put it.
  QString errorText() const { return m_error; }

private:
  bool writeText(const QString &text);

  const AcquisitionState &m_state;
  QFile m_file;
  QString m_error;
};

} // namespace logging
