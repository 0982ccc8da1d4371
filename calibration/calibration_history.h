#pragma once

#include "calibration/calibration_record.h"

#include <QString>

#include <optional>
#include <vector>

namespace calibration {

// The calibration history: one JSON object a line, each carrying the SHA-256 of the record
// before it ("prev") and of itself ("hash"), so a record changed, removed, inserted or moved by
// hand breaks the chain where it happened. A small file beside it (".head") holds the number of
// records and the last hash, so records cut from the end are found too. A history found damaged
// when a record is appended is kept as it is; the new record starts a new chain segment that
// names the damage.

// $XDG_DATA_HOME/brellis/calibration-history.jsonl (~/.local/share/... by default).
QString historyFilePath();
// The file beside the history that holds its record count and last hash.
QString historyHeadPath(const QString &historyPath);

struct HistoryProblem {
  int record = 0; // 1-based line of the history
  QString what;
};

struct NumberedRecord {
  int number = 0; // 1-based line of the history
  CalibrationRecord record;
};

struct HistoryReport {
  QString unreadable;                  // why the file could not be read at all; empty when it could
  int lines = 0;                       // records in the file, whole or not
  std::vector<NumberedRecord> records; // the whole ones, in file order
  std::vector<HistoryProblem> problems; // in file order, the first 100 of them
  int problemCount = 0;                 // all of them
  int missingRecords = 0;               // records the head names beyond the history's end
  std::optional<NumberedRecord> lastRecord; // the last line, when it is a whole record
  HistoryProblem segmentDamage; // the first damage after the newest segment's start; record 0: none

  bool intact() const { return unreadable.isEmpty() && problems.empty(); }
  // "history intact (N records)", "history altered at record N: why", "history altered: N
  // records missing" (the head names records the history does not hold), or "history cannot be
  // read: why".
  QString summary() const;
};

// Reads and checks the history at `path`. A file that does not exist is an intact, empty one,
// unless its head names records. The history and its head are files of our own: a link, a FIFO
// or a device in their place is refused, never read.
HistoryReport readHistory(const QString &path);

// The same check in bounded memory, whatever the history's size: `records` holds only the last
// whole record and the one the head names.
HistoryReport checkHistory(const QString &path);

// Appends `record` to the history at `path`, filling in its chain fields (and, after damage,
// followsDamage), and returns once the line and the head are on disk. Returns the reason it
// failed, naming the file and the system's reason, or an empty text. A line that cannot be
// written whole (a full disk) is taken out again, so the history stays a sound chain and the
// next append continues it.
QString appendRecord(const QString &path, CalibrationRecord record);

// True when both hold the same calibration as the store writes it (numbers to 15 digits).
bool sameCalibration(const ProbeValues &a, const ProbeValues &b);

// The newest whole record of `probe` that wrote `values`, or nullptr.
const CalibrationRecord *recordThatWrote(const HistoryReport &report, int probe,
                                         const ProbeValues &values);

// A probe's calibration as a log file's header gives it, and when the run began.
struct RunCalibration {
  int probe = 1;
  QString serialNumber;
  double offset = 0;
  double slope = 0;
  QDateTime start;
};

// The record in force when the run began: the newest of the probe's records made by then that
// wrote the run's serial number, offset and slope. nullptr when none matches.
const NumberedRecord *recordInForce(const HistoryReport &report, const RunCalibration &run);

// What the log window says about it: "Probe 1: record 12, saved 2026-12-09T03:12:45Z by
// lab@bench from buffers", or that no record matches the run's values.
QString recordInForceText(const HistoryReport &report, const RunCalibration &run);

} // namespace calibration
