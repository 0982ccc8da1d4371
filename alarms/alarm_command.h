#pragma once

#include <QHash>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <deque>

namespace alarms {

// The fields a run of the operator's alarm command receives, as environment variables
// BRELLIS_ALARM_QUANTITY, _STATE, _VALUE, _LIMIT, _TIME, _EVENT, _CONDITION and _SUPPRESSED.
struct CommandFields {
  QString quantity;  // the journal's key: "ph1", "flow" ...
  QString event;     // raised, returned
  QString state;     // the state after the event: active_unacknowledged ...
  QString condition; // high, low, no_reading
  QString value;     // "." decimals; empty when there is none
  QString limit;
  QString time; // UTC ISO 8601
};

// Runs the --alarm-command line through /bin/sh, one process per run, without waiting for it.
// A run still going after killAfterMs is killed. At most maxRunsPerHour runs start per alarm in
// any hour; the runs left out are counted, and the count goes to the next run that starts as
// BRELLIS_ALARM_SUPPRESSED. A failure (not startable, a non-zero exit, killed) is reported
// through failed(), never by a window.
class AlarmCommand : public QObject {
  Q_OBJECT
public:
  static constexpr int maxRunsPerHour = 6;

  AlarmCommand(QString command, int killAfterMs = 30000, QObject *parent = nullptr);

  // `nowMs` is the time the rate limit counts in. Returns false when the run was left out.
  bool run(const CommandFields &fields, qint64 nowMs);
  int running() const { return m_running; }

signals:
  void failed(const alarms::CommandFields &fields, const QString &reason);

private:
  void start(const CommandFields &fields, int suppressed);

  QString m_command;
  int m_killAfterMs;
  int m_running = 0;
  QHash<QString, std::deque<qint64>> m_starts; // per alarm, the starts of the last hour
  QHash<QString, int> m_suppressed;
};

} // namespace alarms
