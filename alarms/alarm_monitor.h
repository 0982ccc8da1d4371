#pragma once

#include "alarms/alarm_command.h"
#include "alarms/alarm_engine.h"
#include "alarms/alarm_journal.h"
#include "alarms/alarm_limits.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"
#include "state/reading.h"

#include <QDateTime>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QTime>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace alarms {

// The daily sign of life: how the program stands at the heartbeat's time.
struct HeartbeatSummary {
  qint64 timeMs = 0;
  int activeAlarms = 0;
  QStringList channelsOn;  // the catalogue keys of the channels switched on: "ph", "flow", "therm"
  QString logFile;         // the log file being written; empty when none is
  qint64 lastRecordMs = 0; // the newest log record written in this run; 0 before the first
};

// The alarm engine at work in the running program: it takes the session's readings and channel
// changes, keeps the limits in the settings store, writes the journal, runs the alarm command
// and tells the window what changed. For the user-interface thread.
class AlarmMonitor : public QObject {
  Q_OBJECT
public:
  struct Options {
    QString journalPath = defaultJournalPath();
    QString user;    // written with the operator's own actions; empty: the login name
    QString command; // --alarm-command; empty runs nothing
    int commandKillMs = 30000;
    // --alarm-repeat: the command runs again as a "reminder" every this many minutes while an
    // alarm stays active and unacknowledged; 0 reminds of nothing.
    int repeatMinutes = 0;
    // --alarm-heartbeat: once a day at this local time, heartbeat() and the command as a
    // "heartbeat" with the summary in its environment; unset gives none.
    std::optional<QTime> heartbeat;
    // Wall time in milliseconds since the epoch; unset is the system clock.
    std::function<qint64()> now;
    // The settings store; unset is the program's own per-user store.
    std::function<std::unique_ptr<QSettings>()> store;
    int tickMs = 100; // how often silences and shelves are looked at
  };

  AlarmMonitor(const AcquisitionState &state, Options options, QObject *parent = nullptr);
  ~AlarmMonitor() override;

  const AlarmEngine &engine() const { return m_engine; }
  const AlarmSettings &settings() const { return m_engine.settings(); }
  // What went wrong with the stored limits, the journal or the command, each said once.
  QStringList notes() const { return m_notes; }
  AlarmCommand *command() const { return m_command; }
  // Who the journal names for the operator's actions from now on; empty goes back to the login
  // name. For actions that come from elsewhere ("mqtt:anna"), set around them.
  void setActingUser(const QString &user) { m_actingUser = user; }

public slots:
  // The session stored a reading; its corrected value is compared, at its time (the clock's now
  // when the reading has none).
  void readingStored(const state::Reading &reading);
  void channelSwitched(state::Channel channel, bool on);
  void channelFailed(state::Channel channel);
  void tick();
  void acknowledge(alarms::Alarm alarm);
  void acknowledgeAll();
  void shelve(alarms::Alarm alarm, int minutes);
  void unshelve(alarms::Alarm alarm);
  // New limits from the dialog: kept in the store, one limits_changed line per changed row.
  void setSettings(const alarms::AlarmSettings &settings);
  // The log file now written, or empty when logging stopped.
  void setLogFile(const QString &path);
  // A log record went into `file` at `time`: the heartbeat's newest record.
  void logRecordWritten(const QString &file, const QDateTime &time);

signals:
  void alarmEvent(const alarms::AlarmEvent &event);
  // After every change: the counts that the status bar and the broker show.
  void countsChanged(int active, int unacknowledged);
  void notesChanged(const QStringList &notes);
  // Once a day at Options::heartbeat, with or without a command.
  void heartbeat(const alarms::HeartbeatSummary &summary);

private:
  void onEvent(const AlarmEvent &event);
  void note(const QString &text);
  void journal(qint64 timeMs, const QString &quantity, const QString &event, double value,
               double limit, bool byOperator);
  qint64 now() const;
  void remind(qint64 nowMs);
  void beat(qint64 nowMs);
  qint64 nextHeartbeat(qint64 afterMs) const;
  HeartbeatSummary summary(qint64 nowMs) const;

  const AcquisitionState &m_state;
  Options m_options;
  AlarmEngine m_engine;
  AlarmJournal m_journal;
  AlarmCommand *m_command = nullptr;
  QTimer *m_timer;
  QStringList m_notes;
  bool m_byOperator = false; // the event under way comes from the operator's action
  QString m_actingUser;
  int m_lastActive = -1;
  int m_lastUnacknowledged = -1;
  // Per alarm, the start of the active unacknowledged state its reminders count from, and how
  // many periods of it have been reminded of.
  std::array<qint64, alarmCount> m_remindedSince{};
  std::array<qint64, alarmCount> m_remindedPeriods{};
  qint64 m_heartbeatDueMs = 0;
  QString m_logFile; // as the heartbeat names it: the file of the newest record while logging
  qint64 m_lastRecordMs = 0;
};

} // namespace alarms
