#include "app/run_start.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Options that take a value, and carry over to a resumed run.
const char *const carried[] = {"--mqtt",      "--mqtt-ca",        "--mqtt-topic",
                               "--mqtt-password-file", "--mqtt-discovery", "--alarm-command",
                               "--alarm-repeat", "--alarm-heartbeat"};

int terminateFds[2] = {-1, -1};

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(terminateFds[0], &byte, 1);
}

} // namespace

QStringList runArguments(const runs::RunRecord &record) {
  QStringList arguments;
  for (auto it = record.com.cbegin(); it != record.com.cend(); ++it)
    arguments << QStringLiteral("--com") << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
  if (record.simulate)
    arguments << QStringLiteral("--simulate");
  return arguments + record.options;
}

RunStart prepareRun(const QStringList &arguments, const QString &runFilePath) {
  RunStart start;
  start.arguments = arguments;
  if (!arguments.contains(QStringLiteral("--resume")))
    return start;
  const runs::RunFileLoad load = runs::loadRunFile(runFilePath);
  if (load.outcome == runs::RunFileLoad::Outcome::Refused) {
    start.refusal = load.message;
    return start;
  }
  if (load.outcome != runs::RunFileLoad::Outcome::Loaded)
    return start;
  start.last = load.record;
  start.resume = !load.record.ended;
  start.arguments = QStringList{arguments.value(0)} + runArguments(load.record) + arguments.mid(1);
  return start;
}

QStringList carriedOptions(const QStringList &arguments) {
  QStringList kept;
  for (qsizetype k = 1; k < arguments.size(); ++k) {
    const QString &argument = arguments[k];
    if (argument == QLatin1String("--mqtt-commands")) { // a switch: nothing follows it
      kept << argument;
      continue;
    }
    for (const char *option : carried) {
      const QString name = QLatin1String(option);
      if (argument == name && k + 1 < arguments.size()) {
        kept << argument << arguments[k + 1];
        ++k;
        break;
      }
      if (argument.startsWith(name + QLatin1Char('='))) {
        kept << argument;
        break;
      }
    }
  }
  return kept;
}

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
