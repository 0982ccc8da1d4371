#include "alarms/alarm_journal.h"

#include "common/journal_files.h"
#include "common/own_file.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace alarms {
namespace {

using common::csvField;

QByteArray number(double value) {
  if (!std::isfinite(value))
    return {};
  return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QByteArray journalLine(const JournalEntry &entry) {
  const QString time =
      QDateTime::fromMSecsSinceEpoch(entry.timeMs).toUTC().toString(Qt::ISODate);
  return time.toUtf8() + ',' + csvField(entry.quantity) + ',' + csvField(entry.event) + ',' +
         number(entry.value) + ',' + number(entry.limit) + ',' + csvField(entry.user) + '\n';
}

QString defaultJournalPath() { return common::stateFilePath(QStringLiteral("alarms.csv")); }

AlarmJournal::AlarmJournal(QString path, FailureReport report)
    : m_files(std::move(path), journalHeader, QStringLiteral(".alarms.csv"),
              [report = std::move(report)](const QString &, const QString &reason) {
                if (report)
                  report(QStringLiteral("The alarm journal cannot be written: %1").arg(reason));
              }) {}

AlarmJournal::~AlarmJournal() = default;

void AlarmJournal::setLogFile(const QString &logFilePath) { m_files.setLogFile(logFilePath); }

QString AlarmJournal::runJournalPath() const { return m_files.runPath(); }

void AlarmJournal::append(const JournalEntry &entry) { m_files.append(journalLine(entry)); }

} // namespace alarms
