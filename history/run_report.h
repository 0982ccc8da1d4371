#pragma once

#include "history/log_chart.h"
#include "history/log_window.h"
#include "logging/log_selection.h"

#include <QString>

class QTextStream;

// The run report: an A4 PDF of one run for the lab book. Needs a QApplication (the charts are the
// log window's own), which may be on the offscreen platform.
namespace history {

struct ReportRequest {
  QString logPath;
  const logging::LogFile *log = nullptr;
  const LogSideFiles *side = nullptr;
  QByteArray sha256Hex; // of the log file as read
  int run = 0;          // index into the log's runs
  // Within the run, both ends included; unset for the whole run.
  std::optional<qint64> fromWall;
  std::optional<qint64> toWall;
  // The figures over the run or span when they were taken as the file was read; null computes
  // them from the log's records.
  const SpanFigures *figures = nullptr;
};

// The series a report figures and charts (all but the total), valued as the log window's chart
// draws them with `view`'s corrections and offsets. Safe on any thread.
std::vector<SeriesSource> reportSeries(const LogChartView &view = {});

// A run read from its file as it goes, for its report: the records each column's extremes keep
// (see reportCommand), the figures over all its records, its extent.
struct StreamedRun {
  logging::LogFile log;
  SpanFigures figures;
  int run = 0;
  qint64 first = 0, last = 0;
  QByteArray sha256Hex;
  // The report's request for it; `side` is held by the caller.
  ReportRequest request(const QString &path, const LogSideFiles &side) const;
};

// Reads run `run` (1-based, 0 as for reportCommand) of the log at `path` for its report, in
// bounded memory whatever its length; touches no widget, so it may run on a thread of its own.
// False with `error` ("… has no run N (it holds M)", "run N of … has no record to report", why
// the file cannot be read, or "the report was cancelled" when `progress` returned false).
bool readRunForReport(const QString &path, int run, const logging::LogSelection &selection,
                      StreamedRun *out, QString *error, const logging::LogProgress &progress = {});

// Writes the report to `outPath`: the file's name and SHA-256, the run's start, end and length,
// its header's calibration with the history's record in force and whether the history is intact,
// the statistics over the run (or span), charts of pH, temperatures and flow, the run's alarms,
// events and notes, and a page number on every page. Nothing is left at the path unless it
// succeeds; false with `error` naming the file and the reason.
bool writeRunReport(const ReportRequest &request, const QString &outPath, QString *error);

// `brellis --report IN OUT.pdf [--run N] [--from T --to T]`. `run` is 1-based, 0 for the run
// holding `selection.fromWall` (the first run without it). IN is read as it goes, twice, in
// bounded memory whatever its length: once for the figures and the run's extent, once to keep,
// for each of a few thousand columns of time, the records holding each series' lowest and
// highest value there, which the charts are drawn from: every spike stays. Messages go to `err`; returns 0 when
// written, 1 when IN cannot be read or is no log, holds no such run or no record in it, or OUT
// cannot be written, and 2 when OUT does not end in .pdf.
int reportCommand(const QString &inPath, const QString &outPath, int run,
                  const logging::LogSelection &selection, QTextStream &err);

} // namespace history
