#include "alarms/alarm_journal.h"

#include "common/own_file.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace alarms {
namespace {

QByteArray number(double value) {
  if (!std::isfinite(value))
    return {};
  return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

QByteArray csvField(const QString &text) {
  QByteArray utf8 = text.toUtf8();
  if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
    return utf8;
  utf8.replace("\"", "\"\"");
  return '"' + utf8 + '"';
}

} // namespace

QByteArray journalLine(const JournalEntry &entry) {
  const QString time =
      QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODate);
  return time.toUtf8() + ',' + csvField(entry.quantity) + ',' + csvField(entry.event) + ',' +
         number(entry.value) + ',' + number(entry.limit) + ',' + csvField(entry.user) + '\n';
}

QString defaultJournalPath() {
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) // relative ones are to be ignored
    base = QDir::homePath() + QStringLiteral("/.local/state");
  return base + QStringLiteral("/brellis/alarms.csv");
}

AlarmJournal::AlarmJournal(QString path, FailureReport report) : m_report(std::move(report)) {
  m_standing.path = std::move(path);
}

AlarmJournal::~AlarmJournal() = default;

void AlarmJournal::setLogFile(const QString &logFilePath) {
  const QString path = logFilePath.isEmpty() ? QString() : logFilePath + ".alarms.csv";
  if (path == m_run.path)
    return;
  m_run = Target{};
  m_run.path = path;
}

QString AlarmJournal::runJournalPath() const { return m_run.path; }

void AlarmJournal::append(const JournalEntry &entry) {
  const QByteArray line = journalLine(entry);
  write(m_standing, line);
  if (!m_run.path.isEmpty())
    write(m_run, line);
}

void AlarmJournal::write(Target &target, const QByteArray &line) {
  QDir().mkpath(QFileInfo(target.path).absolutePath());
  // One write to the operating system, cut back if it does not go in whole, so a full disk
  // leaves whole lines only; not synced, as a journal's lines come with every alarm.
  common::AppendOptions options;
  options.header = journalHeader;
  options.sync = false;
  const QString failure = common::appendWhole(target.path, line, options);
  if (failure.isEmpty() || target.reported)
    return;
  target.reported = true;
  if (m_report)
    m_report(QStringLiteral("The alarm journal cannot be written: %1").arg(failure));
}

} // namespace alarms
