#include "runs/events_journal.h"

#include "common/journal_files.h"
#include "common/own_file.h"

#include <QDir>
#include <QFileInfo>

#include <QDateTime>
#include <QDir>

namespace runs {
namespace {

using common::csvField;

// One record's fields, split as CSV; `bad` when its quoting is broken.
struct Record {
  QList<QByteArray> fields;
  bool bad = false;
};

// Splits `text` from `pos` up to the end of the record (a line break outside quotes), which it
// moves `pos` past. Returns false when the text ends before the record does.
bool nextRecord(const QByteArray &text, qsizetype &pos, Record &record) {
  record = Record{};
  QByteArray field;
  bool quoted = false;    // inside a quoted field
  bool wasQuoted = false; // the field so far was quoted and its quote closed
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (quoted) {
      if (c != '"')
        field += c;
      else if (pos + 1 < text.size() && text[pos + 1] == '"')
        field += text[++pos];
      else {
        quoted = false;
        wasQuoted = true;
      }
    } else if (c == ',' || c == '\n') {
      if (c == '\n' && !wasQuoted && field.endsWith('\r'))
        field.chop(1);
      record.fields.append(field);
      field.clear();
      wasQuoted = false;
      if (c == '\n') {
        ++pos;
        return true;
      }
    } else if (c == '"' && field.isEmpty() && !wasQuoted) {
      quoted = true;
    } else if (wasQuoted && c != '\r') {
      record.bad = true; // text after a closing quote
    } else if (c == '"') {
      record.bad = true; // a quote inside an unquoted field
    } else if (!wasQuoted) {
      field += c;
    }
  }
  return false;
}

bool readEntry(const Record &record, EventEntry &entry) {
  if (record.bad || record.fields.size() != 4 || record.fields[1].isEmpty())
    return false;
  const QString time = QString::fromUtf8(record.fields[0]);
  const QDateTime when = QDateTime::fromString(time, Qt::ISODateWithMs);
  if (!time.endsWith(QLatin1Char('Z')) || !when.isValid())
    return false;
  entry = {when.toMSecsSinceEpoch(), QString::fromUtf8(record.fields[1]),
           QString::fromUtf8(record.fields[2]), QString::fromUtf8(record.fields[3])};
  return true;
}

} // namespace

QByteArray eventLine(const EventEntry &entry) {
  const QString time = QDateTime::fromMSecsSinceEpoch(entry.timeMs).toUTC().toString(Qt::ISODate);
  return time.toUtf8() + ',' + csvField(entry.event) + ',' + csvField(entry.detail) + ',' +
         csvField(entry.user) + '\n';
}

QString defaultEventsJournalPath() { return common::stateFilePath(QStringLiteral("events.csv")); }

EventsJournal::EventsJournal(QString path, FailureReport report)
    : m_files(std::move(path), eventsHeader, QStringLiteral(".events.csv"),
              [report = std::move(report)](const QString &file, const QString &reason) {
                if (report)
                  report(QStringLiteral("The events journal %1 cannot be written: %2")
                             .arg(file, reason));
              }) {}

void EventsJournal::setLogFile(const QString &logFilePath) { m_files.setLogFile(logFilePath); }

void EventsJournal::append(const EventEntry &entry) { m_files.append(eventLine(entry)); }

EventsRead parseEventsJournal(const QByteArray &text) {
  EventsRead read;
  const QByteArray header(eventsHeader);
  const bool crlf = text.startsWith(header.chopped(1) + "\r\n");
  if (!text.startsWith(header) && !crlf) {
    read.error = QStringLiteral("its first line is not \"%1\"").arg(header.chopped(1));
    return read;
  }
  qsizetype pos = header.size() + (crlf ? 1 : 0);
  Record record;
  while (pos < text.size()) {
    EventEntry entry;
    if (nextRecord(text, pos, record) && readEntry(record, entry))
      read.entries.append(entry);
    else
      ++read.skipped;
  }
  return read;
}

EventsRead readEventsJournal(const QString &path) {
  const common::OwnFileRead file = common::readOwnFile(path, eventsJournalMaxBytes);
  EventsRead read;
  if (file.missing)
    read.error = QStringLiteral("there is no such file");
  else if (file.error.isEmpty())
    read = parseEventsJournal(file.bytes);
  else
    read.error = file.error;
  if (!read.error.isEmpty())
    read.error = QStringLiteral("The events journal %1 cannot be read: %2.").arg(path, read.error);
  return read;
}

} // namespace runs
