#include "logging/log_writer.h"

#include "logging/log_format.h"

#include <QStringEncoder>

namespace logging {

LogWriter::LogWriter(const AcquisitionState &state) : m_state(state) {}

LogWriter::~LogWriter() { closeLogFile(); }

bool LogWriter::openLogFile(const QString &path, bool append) {
  closeLogFile();
  m_error.clear();
  m_file.setFileName(path);
  // Unbuffered: each write goes straight to the operating system and reports its own failure,
  // and nothing is left in a buffer for close() to retry after a failed line.
  const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                   (append ? QIODevice::Append : QIODevice::Truncate);
  if (!m_file.open(mode)) {
    m_error = m_file.errorString();
    return false;
  }
  return true;
}

bool LogWriter::writeLogHeader(const QDate &today, const QLocale &locale) {
  return writeText(logHeaderText(m_state, today, locale));
}

bool LogWriter::writeLogRecord(const QString &litersText, const QTime &time,
                               const QLocale &locale) {
  if (!m_file.isOpen())
    return true;
  return writeText(logRecordText(m_state, litersText, time, locale));
}

bool LogWriter::closeLogFile() {
  if (!m_file.isOpen())
    return true;
  m_file.unsetError();
  m_file.close();
  if (m_file.error() != QFileDevice::NoError) {
    m_error = m_file.errorString();
    return false;
  }
  return true;
}

bool LogWriter::writeText(const QString &text) {
  if (!m_file.isOpen()) {
    m_error = QStringLiteral("The log file is not open");
    return false;
  }
  // Operator-typed text (serial numbers) goes out in the system's encoding; fixed texts and
  // numbers are ASCII in every encoding.
  QStringEncoder encode(QStringConverter::System);
  const QByteArray bytes = encode(text);
  const qint64 before = m_file.size();
  // A write that stops part-way (file size limit, disk full) returns a short count without a
  // reason; writing the rest then fails with the system's reason.
  qint64 done = 0;
  while (done < bytes.size()) {
    const qint64 n = m_file.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0)
      break;
    done += n;
  }
  if (done != bytes.size() || !m_file.flush()) {
    m_error = m_file.errorString();
    // Cut off the part of the line that did fit, so the file ends with whole lines. Devices
    // such as /dev/full cannot be cut; what they hold is then left as it is.
    m_file.resize(before);
    return false;
  }
  return true;
}

} // namespace logging
