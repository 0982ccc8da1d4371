#pragma once

#include "logging/log_reader.h"
#include "logging/log_selection.h"

#include <QString>

#include <memory>
#include <optional>

class QTextStream;

// The tidy table: one row per record with the run's number and the full local date and time,
// the 15 readings named with their units, "." as the decimal point. A "" or "000" total is an
// empty cell. Written as .csv (for pandas and any CSV reader) or .xlsx (real numbers and
// date-time cells, the runs' headers on a second sheet "runs").
namespace logging {

enum class TableFormat { Csv, Xlsx };

// By the path's extension, in any letter case; nullopt for any other.
std::optional<TableFormat> tableFormatFor(const QString &path);

// Takes a reading's runs and records as they come and writes them out. Nothing is left at the
// path unless finish() succeeds: a failed or abandoned table is removed.
class TableWriter : public LogSink {
public:
  // nullopt-like: null and `error` set when the path's type is unknown or it cannot be written.
  static std::unique_ptr<TableWriter> open(const QString &path, QString *error);
  ~TableWriter() override = default;
  // Completes the file. False with errorText() when it could not be written.
  virtual bool finish() = 0;
};

// Writes a log held in memory, e.g. the one a log window shows: the records `selection` takes
// (every run's header stays in the runs sheet). False with `error` set. The progress is told in
// records; when it returns false the export stops and leaves no table.
bool exportLog(const LogFile &log, const QString &outPath, QString *error,
               const LogProgress &progress = {}, const LogSelection &selection = {});

// `brellis --export-log IN OUT`: reads IN as it goes (any size) and writes OUT. Messages go to
// `err`; returns the exit status: 0 done (damaged lines are reported and skipped), 1 when IN
// cannot be read or is no log, or OUT cannot be written, 2 for an unknown OUT type.
int exportLogCommand(const QString &inPath, const QString &outPath, QTextStream &err);
// The same for several logs, one table: each day's file of a run kept in a new file each day,
// read in the order given, the runs numbered on from one file to the next.
// With --from/--to only the records of that span are written.
int exportLogCommand(const QStringList &inPaths, const QString &outPath, QTextStream &err,
                     const LogSelection &selection = {});

} // namespace logging
