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

#include <functional>
#include <memory>

class QTimer;

namespace alarms {

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

signals:
  void alarmEvent(const alarms::AlarmEvent &event);
  // After every change: the counts that the status bar and the broker show.
  void countsChanged(int active, int unacknowledged);
  void notesChanged(const QStringList &notes);

private:
  void onEvent(const AlarmEvent &event);
  void note(const QString &text);
  void journal(qint64 timeMs, const QString &quantity, const QString &event, double value,
               double limit, bool byOperator);
  qint64 now() const;

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
};

} // namespace alarms
