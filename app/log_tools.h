#pragma once

#include "logging/log_selection.h"

#include <QCommandLineOption>

#include <optional>

class QCommandLineParser;

// A run report asked for on the command line; made once a QApplication exists.
struct ReportJob {
  QString in, out;
  int run = 0; // 1-based; 0 when not given
  logging::LogSelection span;
};

// The command-line tools on log files, which need no display: --export-log and --report, with
// --from and --to choosing a span.
struct LogToolOptions {
  QCommandLineOption exportLog{
      QStringLiteral("export-log"),
      QStringLiteral("Writes the log file IN as a table to OUT, the argument after IN (.csv or "
                     ".xlsx by its name), and ends. Needs no display."),
      QStringLiteral("IN")};
  QCommandLineOption from{
      QStringLiteral("from"),
      QStringLiteral("With --export-log or --report: only records from this local date and time "
                     "on (ISO 8601, for example 2026-12-09T10:00:00)."),
      QStringLiteral("T")};
  QCommandLineOption to{
      QStringLiteral("to"),
      QStringLiteral("With --export-log or --report: only records up to this local date and time "
                     "(ISO 8601)."),
      QStringLiteral("T")};

  QCommandLineOption report{
      QStringLiteral("report"),
      QStringLiteral("Writes a report of a run of the log file IN as an A4 PDF to OUT.pdf, the "
                     "argument after IN, and ends. Needs no display."),
      QStringLiteral("IN")};
  QCommandLineOption run{QStringLiteral("run"),
                         QStringLiteral("With --report: the run to report, from 1 (default: the "
                                        "run holding --from, else the first)."),
                         QStringLiteral("N")};

  void addTo(QCommandLineParser &parser) const;
  // Runs --export-log when it was given and ends the program with its exit status; ends it with
  // status 2 when --report's arguments are wrong, and otherwise hands --report's job back.
  std::optional<ReportJob> runTools(const QCommandLineParser &parser) const;
};

// Makes the report's PDF on the offscreen platform, so that no display is needed; returns the
// exit status.
int runReport(int &argc, char **argv, const ReportJob &job);
