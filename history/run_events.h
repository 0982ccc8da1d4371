#pragma once

#include "logging/log_reader.h"
#include "runs/events_journal.h"

#include <QString>
#include <QTimeZone>

#include <vector>

// The run's events journal ("<log file>.events.csv") read back for the log window: its events on
// the log's clock, and the holes a resumed run left in the record. Pure: no widgets.
namespace history {

struct RunEvent {
  qint64 wallSeconds = 0; // as the log counts them (see logging::LogRecord), on the log's clock
  QString event;
  QString detail;
  QString user;
  // "resumed: after an unclean end; the last record …".
  QString text() const;
};

struct RunEvents {
  bool found = false;
  QString error; // the journal is there but cannot be read: why
  std::vector<RunEvent> events;
  int skipped = 0; // lines that did not read as an event
};

// The span the record has no readings for: from the last record before a resume to the resume.
struct RunHole {
  qint64 fromWall = 0;
  qint64 toWall = 0;
  // "no record for 12 min 5 s".
  QString text() const;
};

// A span in which a channel was not read, so that the records repeated its last values: switched
// off by a failure until it was back, the port lost until it was back, or a box waiting for OK
// (every channel).
struct NotReadSpan {
  int channel = -1; // a state::Channel, or -1 for every channel
  qint64 fromWall = 0;
  qint64 toWall = 0;
  QString why; // "switched off by a failure", "port lost", "a message waiting"
};

// The spans of `events` (in time order); one still open at the journal's end runs to `endWall`.
// A start, a resume or an end closes every span: what the program did before it is over.
std::vector<NotReadSpan> notReadSpans(const std::vector<RunEvent> &events, qint64 endWall);

QString eventsJournalPath(const QString &logPath);

// The events beside `logPath`, their UTC times on `zone`'s clock; none when there is no journal.
RunEvents readRunEvents(const QString &logPath, const QTimeZone &zone);

// One hole for each "resumed" event that has a record before it; records in time order.
std::vector<RunHole> resumedHoles(const std::vector<RunEvent> &events,
                                  const std::vector<logging::LogRecord> &records);

} // namespace history
