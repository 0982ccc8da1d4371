#include "alarms/alarm_command.h"

#include "alarms/command_tree.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QVariant>

#include <chrono>
#include <thread>

namespace alarms {

AlarmCommand::AlarmCommand(QString command, int killAfterMs, QObject *parent)
    : QObject(parent), m_command(std::move(command)), m_killAfterMs(killAfterMs) {
  // What a command leaves running when it ends comes back to us, to be ended at its limit.
  becomeSubreaper();
}

AlarmCommand::~AlarmCommand() {
  // As a QProcess ends its own process when it goes: nothing a run started outlives us.
  for (const std::shared_ptr<CommandTree> &tree : m_trees)
    tree->kill();
  // SIGKILL ends a process within moments; what came back to us is reaped, not left a zombie.
  for (int tries = 0; tries < 50 && !m_trees.empty(); ++tries) {
    for (auto it = m_trees.begin(); it != m_trees.end();)
      it = (*it)->reap() ? m_trees.erase(it) : std::next(it);
    if (!m_trees.empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

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
  for (const auto &[name, value] : fields.extra)
    environment.insert(name, value);
  process->setStandardInputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedChannels); // its output goes to ours

  // The command runs in a process group of its own, so that a hung child of the script (a
  // curl that waits for a server) is killed with it; a descendant that leaves the group (setsid)
  // is still found by the marker in its environment.
  const QByteArray marker = QByteArrayLiteral("BRELLIS_ALARM_RUN=") +
                            QByteArray::number(QCoreApplication::applicationPid()) + '.' +
                            QByteArray::number(++m_runs);
  environment.insert(QString::fromLatin1(marker.left(marker.indexOf('='))),
                     QString::fromLatin1(marker.mid(marker.indexOf('=') + 1)));
  process->setProcessEnvironment(environment);
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
  startInShell(*process, m_command);
  watchTree(process, marker);
}

void AlarmCommand::watchTree(QProcess *process, const QByteArray &marker) {
  auto tree = std::make_shared<CommandTree>(marker, *process);
  m_trees.insert(tree);
  // At the limit the command and whatever it started end, however they were started; the
  // processes that came back to us are reaped as they go. The timer outlives the QProcess: a job
  // left in the background runs on after the command's own process.
  auto *killer = new QTimer(this);
  killer->setSingleShot(true);
  // Seen while alive, a process that ends on its own is known as the command's when its zombie
  // comes back to us.
  auto *looker = new QTimer(killer);
  connect(looker, &QTimer::timeout, this, [tree] { tree->look(); });
  looker->start(250);
  QPointer<QProcess> watched(process);
  connect(killer, &QTimer::timeout, this, [this, killer, watched, tree] {
    if (watched && watched->state() != QProcess::NotRunning) {
      watched->setProperty("killedByTimer", true);
      watched->kill();
    }
    tree->kill();
    auto *reaper = new QTimer(this);
    int tries = 0;
    connect(reaper, &QTimer::timeout, this, [this, reaper, tree, tries]() mutable {
      if (!tree->reap() && ++tries < 200)
        return;
      reaper->deleteLater();
      m_trees.erase(tree);
    });
    reaper->start(50);
    killer->deleteLater();
  });
  killer->start(m_killAfterMs);
}

} // namespace alarms
