#include "app/run_start.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int terminateFds[2] = {-1, -1};

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(terminateFds[0], &byte, 1);
}

} // namespace

void quitOnTerminate() {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, terminateFds) != 0)
    return;
  auto *notifier = new QSocketNotifier(terminateFds[1], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t read = ::read(terminateFds[1], &byte, 1);
    // exit(), not quit(): Qt 6's quit() closes the windows first, which is the operator's Exit.
    QCoreApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
}
