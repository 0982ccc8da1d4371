#pragma once

#include "runs/run_file.h"

#include <QString>
#include <QStringList>

#include <optional>

// How a start takes up the last run: --resume reads the run file before the command line is
// parsed, so that the last run's options come first and the ones given beside them win.
struct RunStart {
  QStringList arguments;               // the command line to parse
  std::optional<runs::RunRecord> last; // the last run, when --resume found a sound one
  bool resume = false;                 // it did not end with Exit: take it up again
  QString refusal;                     // the run file was refused: why (the start is a new one)
};

// The options of a run file as command-line arguments: the port mapping, --simulate and the
// options the run carried over.
QStringList runArguments(const runs::RunRecord &record);

// `arguments` as given (the program's name first). Without --resume they are kept as they are.
RunStart prepareRun(const QStringList &arguments, const QString &runFilePath);

// The options of a parsed command line that a later --resume takes again: publishing,
// discovery and the alarm command (a password file's path, never a password).
QStringList carriedOptions(const QStringList &arguments);

// SIGTERM (the end of the desktop session, systemd stopping the unit; on Windows the console's
// close, Ctrl+C and the end of the session) quits the event loop, so that the window goes away
// as at a normal end and the log file is closed whole, without marking the run ended.
void quitOnTerminate();
