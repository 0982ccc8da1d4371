#include "app/log_tools.h"

#include "history/run_report.h"
#include "logging/log_export.h"

#include <QApplication>

#include <QCommandLineParser>
#include <QTextStream>

#include <cstdlib>

namespace {

// --from and --to as a selection; false, after saying why, when one does not read as a local
// date and time or the span ends before it begins.
bool readSpan(const QCommandLineParser &parser, const LogToolOptions &options,
              logging::LogSelection &selection, QTextStream &err) {
  for (const auto &[option, end] : {std::pair{&options.from, &selection.fromWall},
                                    std::pair{&options.to, &selection.toWall}}) {
    if (!parser.isSet(*option))
      continue;
    *end = logging::wallSecondsFromIso(parser.value(*option));
    if (!*end) {
      err << "brellis: --" << option->names().first()
          << " expects a local date and time such as 2026-12-09T10:00:00, not \""
          << parser.value(*option) << "\"\n";
      return false;
    }
  }
  if (selection.fromWall && selection.toWall && *selection.toWall < *selection.fromWall) {
    err << "brellis: --to is before --from\n";
    return false;
  }
  return true;
}

} // namespace

void LogToolOptions::addTo(QCommandLineParser &parser) const {
  parser.addOptions({exportLog, report, run, from, to});
}

// `--export-log IN [IN2 ...] OUT`: several logs (each day's file of one run) make one table, in
// the order given. `--report IN OUT.pdf`.
std::optional<ReportJob> LogToolOptions::runTools(const QCommandLineParser &parser) const {
  const bool exporting = parser.isSet(exportLog);
  if (!exporting && !parser.isSet(report))
    return std::nullopt;
  QTextStream err(stderr);
  const auto fail = [&err](const char *text) {
    err << "brellis: " << text << '\n';
    err.flush();
    std::exit(2);
  };
  const QStringList rest = parser.positionalArguments();
  if (rest.isEmpty())
    fail(exporting ? "--export-log expects IN OUT, the table OUT ending in .csv or .xlsx"
                   : "--report expects IN OUT.pdf");
  logging::LogSelection selection;
  if (!readSpan(parser, *this, selection, err)) {
    err.flush();
    std::exit(2);
  }
  if (!exporting) {
    ReportJob job{parser.value(report), rest.first(), 0, selection};
    bool ok = true;
    if (parser.isSet(run) && ((job.run = parser.value(run).toInt(&ok)) < 1 || !ok))
      fail("--run expects a run number from 1");
    if (rest.size() != 1)
      fail("--report expects IN OUT.pdf");
    return job;
  }
  const int status = logging::exportLogCommand(
      QStringList{parser.value(exportLog)} + rest.mid(0, rest.size() - 1), rest.last(), err,
      selection);
  err.flush();
  std::exit(status);
}

int runReport(int &argc, char **argv, const ReportJob &job) {
  // The report draws the log window's charts but needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTextStream err(stderr);
  return history::reportCommand(job.in, job.out, job.run, job.span, err);
}
