#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

// The run remembered between starts: what the operator had set up, so that a run cut short by
// a crash or a power cut can be taken up again as it was.

namespace runs {

inline constexpr int runFileVersion = 1;
// A run file is a few hundred bytes; anything much larger is not one of ours.
inline constexpr qint64 runFileMaxBytes = 1024 * 1024;

struct RunRecord {
  int version = runFileVersion;
  int port = 1;           // the port number, 1..256
  QMap<int, QString> com; // the --com N=DEVICE map; numbers 1..256, devices non-empty
  bool simulate = false;  // --simulate
  bool ph = false;        // the three channel switches
  bool flow = false;
  bool therm = false;
  int updateRate = 0;   // the update-rate list's position, 0..4
  bool plot = false;    // the plot switch
  bool plotPh1 = false; // which probes the trend plots
  bool plotPh2 = false;
  QString logFile;          // may be empty when not logging
  int logIntervalMs = 1000; // 1 .. 24 h
  bool logAppend = true;    // the log mode: append (true) or overwrite (false)
  bool logging = false;     // whether records were being written
  bool logDaily = false;    // a new file each day, named from logFile and the date
  QStringList options;      // command-line options carried over; the caller chooses which
  bool ended = false;       // true once the operator chose Exit
  QDateTime lastRecordUtc;  // when the last log record was written; invalid when none was

  friend bool operator==(const RunRecord &, const RunRecord &) = default;
};

// $XDG_STATE_HOME/brellis/run.json, or ~/.local/state/brellis/run.json when XDG_STATE_HOME is
// unset or relative.
QString defaultRunFilePath();

// The record as the file holds it: UTF-8 JSON. Exposed for tests and for diagnostics.
QByteArray runFileText(const RunRecord &record);

// Replaces the run file atomically (never a half-written file, even across a power cut).
// Returns an error text naming the file, or empty on success.
QString saveRunFile(const QString &path, const RunRecord &record);

struct RunFileLoad {
  enum class Outcome { Loaded, Missing, Refused };
  Outcome outcome = Outcome::Missing;
  RunRecord record; // meaningful when Loaded
  QString message;  // when Refused: names the file and says why; empty otherwise
};

// Reads a run file without following a symbolic link and without blocking on a FIFO or device.
// Nothing at the path is Missing (the first run); a link, anything not a regular file, a file
// over runFileMaxBytes, text that is not the JSON of a record (a field missing, of the wrong
// type or out of range) or a version newer than this program's is Refused. The file is never
// changed, whatever the outcome.
RunFileLoad loadRunFile(const QString &path);

// The record held by `text`, or an error naming the first thing wrong with it.
RunRecord parseRunFile(const QByteArray &text, QString *error);

} // namespace runs
