#include "common/journal_files.h"

#include "common/own_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace common {

QString stateFilePath(const QString &fileName) {
#ifdef Q_OS_WIN
  // Windows has no state folder of its own: the local application data (%LOCALAPPDATA%), beside
  // the calibration history.
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base))
    base = QDir::homePath() + QStringLiteral("/.local/state");
#endif
  return base + QStringLiteral("/brellis/") + fileName;
}

JournalFiles::JournalFiles(QString standingPath, QByteArray header, QString suffix,
                           Failure failed)
    : m_header(std::move(header)), m_suffix(std::move(suffix)), m_failed(std::move(failed)) {
  m_standing.path = std::move(standingPath);
}

void JournalFiles::setLogFile(const QString &logFilePath) {
  const QString path = logFilePath.isEmpty() ? QString() : logFilePath + m_suffix;
  if (path == m_run.path)
    return;
  m_run = Target{path};
}

void JournalFiles::append(const QByteArray &line) {
  write(m_standing, line);
  if (!m_run.path.isEmpty())
    write(m_run, line);
}

void JournalFiles::write(Target &target, const QByteArray &line) {
  QDir().mkpath(QFileInfo(target.path).absolutePath());
  AppendOptions options;
  options.header = m_header;
  options.sync = false;
  const QString failure = appendWhole(target.path, line, options);
  if (failure.isEmpty() || target.reported)
    return;
  target.reported = true;
  if (m_failed)
    m_failed(target.path, failure);
}

} // namespace common
