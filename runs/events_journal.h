#pragma once

#include "common/journal_files.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

// What happened to a run that nobody watched: starts and resumes, the port lost and back,
// messages that would have waited in a box (or did, and were answered), channels switched off by
// a failure and back, the wall clock jumping.

namespace runs {

// The event names the journal uses.
namespace event {
inline constexpr char started[] = "started";
inline constexpr char resumed[] = "resumed";
inline constexpr char ended[] = "ended";
inline constexpr char portLost[] = "port_lost";
inline constexpr char portBack[] = "port_back";
inline constexpr char message[] = "message";
inline constexpr char channelBack[] = "channel_back";
// A failure switched the channel (its detail: "ph", "flow" or "therm") off; once an episode.
inline constexpr char channelOff[] = "channel_off";
// The operator switched a channel a failure had switched off on again.
inline constexpr char channelOn[] = "channel_on";
// The box of the last "message" was closed: the read ticks waited until then.
inline constexpr char messageAnswered[] = "message_answered";
inline constexpr char clockJump[] = "clock_jump";
inline constexpr char clockUnsynchronised[] = "clock_unsynchronised";
inline constexpr char note[] = "note";
} // namespace event

struct EventEntry {
  qint64 timeMs = 0; // UTC milliseconds since the epoch; the journal keeps whole seconds
  QString event;
  QString detail;
  QString user;

  friend bool operator==(const EventEntry &, const EventEntry &) = default;
};

inline constexpr char eventsHeader[] = "time,event,detail,user\n";

// "2026-12-09T03:12:45Z,message,\"No valid return, thermistor 2\",\n": UTF-8 CSV; a field with
// a comma, a quote or a line break is quoted, its quotes doubled.
QByteArray eventLine(const EventEntry &entry);

// $XDG_STATE_HOME/brellis/events.csv, or ~/.local/state/brellis/events.csv.
QString defaultEventsJournalPath();

// Appends each entry to the standing journal and, while a log file is written, to the run's
// journal beside it ("<log file>.events.csv"). Each line reaches the operating system in one
// write before append() returns, so a killed program leaves only whole lines. A file that cannot
// be written (a link, not a regular file, a full disk) is reported once through the failure
// callback; the entry still goes to the other file, and the failed one is tried again with the
// next entry.
class EventsJournal {
public:
  using FailureReport = std::function<void(const QString &message)>;

  explicit EventsJournal(QString path, FailureReport report = {});

  // The log file being written, or empty when none is.
  void setLogFile(const QString &logFilePath);
  QString runJournalPath() const { return m_files.runPath(); }

  void append(const EventEntry &entry);

private:
  common::JournalFiles m_files;
};

struct EventsRead {
  QString error; // names the file and why it cannot be read; empty when it was read
  QList<EventEntry> entries;
  int skipped = 0; // records that did not read as an event, left out
};

// Events journals over this size are refused rather than read into memory.
inline constexpr qint64 eventsJournalMaxBytes = 64 * 1024 * 1024;

// Reads a journal back: quoted fields whole, line breaks in them included. A record without four
// fields, a readable UTC time and an event name, or the last one when its line was never ended,
// is skipped and counted. A missing file, a link, anything not a regular file, an oversized file
// or one whose first line is not the journal's header is an error.
EventsRead readEventsJournal(const QString &path);

// The same, from text already read.
EventsRead parseEventsJournal(const QByteArray &text);

} // namespace runs
