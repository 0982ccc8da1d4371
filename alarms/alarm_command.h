#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <deque>
#include <memory>
#include <set>

namespace alarms {

class CommandTree;

// The fields a run of the operator's alarm command receives, as environment variables
// BRELLIS_ALARM_QUANTITY, _STATE, _VALUE, _LIMIT, _TIME, _EVENT, _CONDITION and _SUPPRESSED.
struct CommandFields {
  QString quantity;  // the journal's key: "ph1", "flow" ...; empty for the heartbeat
  QString event;     // raised, returned, reminder, heartbeat
  QString state;     // the state after the event: active_unacknowledged ...
  QString condition; // high, low, no_reading
  QString value;     // "." decimals; empty when there is none
  QString limit;
  QString time; // UTC ISO 8601
  // Further variables, each set as given (the heartbeat's summary).
  QList<QPair<QString, QString>> extra;
};

// Runs the --alarm-command line through /bin/sh, one process per run, without waiting for it.
// A run still going after killAfterMs is killed, and at that limit every process the run started
// is ended too, whether it is still the command's child, was put in the background, or started a
// session of its own (this process becomes the subreaper of its descendants; the run's processes
// carry BRELLIS_ALARM_RUN in their environment). At most maxRunsPerHour runs start per alarm (per
// `quantity`, whatever the event: reminders count) in any hour; the runs left out are counted,
// and the count goes to the next run that starts as BRELLIS_ALARM_SUPPRESSED. A failure (not
// startable, a non-zero exit, killed) is reported through failed(), never by a window.
class AlarmCommand : public QObject {
  Q_OBJECT
public:
  static constexpr int maxRunsPerHour = 6;

  AlarmCommand(QString command, int killAfterMs = 30000, QObject *parent = nullptr);
  ~AlarmCommand() override;

  // `nowMs` is the time the rate limit counts in. Returns false when the run was left out.
  bool run(const CommandFields &fields, qint64 nowMs);
  int running() const { return m_running; }
  // Runs whose processes are not yet all ended and reaped (each until its limit has passed).
  int watching() const { return int(m_trees.size()); }

signals:
  void failed(const alarms::CommandFields &fields, const QString &reason);

private:
  void start(const CommandFields &fields, int suppressed);
  void watchTree(QProcess *process, const QByteArray &marker);

  QString m_command;
  int m_killAfterMs;
  int m_running = 0;
  std::set<std::shared_ptr<CommandTree>> m_trees; // runs not yet ended and reaped whole
  qint64 m_runs = 0;
  QHash<QString, std::deque<qint64>> m_starts; // per alarm, the starts of the last hour
  QHash<QString, int> m_suppressed;
};

} // namespace alarms
