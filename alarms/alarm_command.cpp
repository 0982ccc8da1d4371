#include "alarms/alarm_command.h"

#include <QProcess>
#include <QTimer>
#include <QVariant>

#include <csignal>
#include <unistd.h>

namespace alarms {

AlarmCommand::AlarmCommand(QString command, int killAfterMs, QObject *parent)
    : QObject(parent), m_command(std::move(command)), m_killAfterMs(killAfterMs) {}

bool AlarmCommand::run(const CommandFields &fields, qint64 nowMs) {
  std::deque<qint64> &starts = m_starts[fields.quantity];
  while (!starts.empty() && nowMs - starts.front() >= 3600 * 1000)
    starts.pop_front();
  if (starts.size() >= std::size_t(maxRunsPerHour)) {
    ++m_suppressed[fields.quantity];
    return false;
  }
  starts.push_back(nowMs);
  start(fields, m_suppressed.take(fields.quantity));
  return true;
}

void AlarmCommand::start(const CommandFields &fields, int suppressed) {
  auto *process = new QProcess(this);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("BRELLIS_ALARM_QUANTITY", fields.quantity);
  environment.insert("BRELLIS_ALARM_EVENT", fields.event);
  environment.insert("BRELLIS_ALARM_STATE", fields.state);
  environment.insert("BRELLIS_ALARM_CONDITION", fields.condition);
  environment.insert("BRELLIS_ALARM_VALUE", fields.value);
  environment.insert("BRELLIS_ALARM_LIMIT", fields.limit);
  environment.insert("BRELLIS_ALARM_TIME", fields.time);
  environment.insert("BRELLIS_ALARM_SUPPRESSED", QString::number(suppressed));
  process->setProcessEnvironment(environment);
  process->setStandardInputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedChannels); // its output goes to ours

  auto *killer = new QTimer(process);
  killer->setSingleShot(true);
  // The command runs in a process group of its own, so that a hung child of the script (a
  // curl that waits for a server) is killed with it.
  process->setChildProcessModifier([] { ::setpgid(0, 0); });
  connect(killer, &QTimer::timeout, process, [process] {
    process->setProperty("killedByTimer", true);
    if (process->processId() > 0)
      ::kill(-pid_t(process->processId()), SIGKILL);
    process->kill();
  });
  auto finish = [this, process, fields](const QString &reason) {
    --m_running;
    process->deleteLater();
    if (!reason.isEmpty())
      emit failed(fields, reason);
  };
  connect(process, &QProcess::errorOccurred, this, [process, finish](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart) // no finished() follows
      finish(QStringLiteral("could not be started (%1)").arg(process->errorString()));
  });
  connect(process, &QProcess::finished, this,
          [this, process, finish](int code, QProcess::ExitStatus status) {
            if (process->property("killedByTimer").toBool())
              finish(QStringLiteral("was killed after %1 s").arg(m_killAfterMs / 1000.0));
            else if (status == QProcess::CrashExit)
              finish(QStringLiteral("ended by a signal"));
            else if (code == 127)
              finish(QStringLiteral("exit status 127 (command not found)"));
            else if (code != 0)
              finish(QStringLiteral("exit status %1").arg(code));
            else
              finish({});
          });
  ++m_running;
  killer->start(m_killAfterMs);
  process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), m_command});
}

} // namespace alarms
