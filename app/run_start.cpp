#include "app/run_start.h"

namespace {

// Options that take a value, and carry over to a resumed run.
const char *const carried[] = {"--mqtt",      "--mqtt-ca",        "--mqtt-topic",
                               "--mqtt-password-file", "--mqtt-discovery", "--alarm-command",
                               "--alarm-repeat", "--alarm-heartbeat"};

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
