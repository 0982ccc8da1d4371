#include "app/run_start.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

namespace {

// Runs on a thread of the system's own: the event loop is told, and the system waits for the
// program to end (up to its own limit) once this returns true.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
      event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
    return FALSE;
  // exit(), not quit(): Qt 6's quit() closes the windows first, which is the operator's Exit.
  QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  return TRUE;
}

} // namespace

// Windows has no SIGTERM: the console's close, Ctrl+C and the end of the session take its place.
void quitOnTerminate() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
