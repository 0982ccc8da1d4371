#include "alarms/alarm_monitor.h"

#include "common/login_name.h"
#include "common/own_settings.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace alarms {
namespace {

QString number(double value) {
  return std::isfinite(value) ? QString::number(value, 'g', QLocale::FloatingPointShortest)
                              : QString();
}

QString utcText(qint64 timeMs) {
  return QDateTime::fromMSecsSinceEpoch(timeMs).toUTC().toString(Qt::ISODate);
}

// Refused (and said by the calibration store's check at start) when its file is not a regular
// file: the limits are then off, and a change of them cannot be saved.
std::unique_ptr<QSettings> programStore() {
  return common::openOwnSettings(QStringLiteral("Quorran Science DGH Driver"));
}

} // namespace

AlarmMonitor::AlarmMonitor(const AcquisitionState &state, Options options, QObject *parent)
    : QObject(parent), m_state(state), m_options(std::move(options)),
      m_journal(m_options.journalPath, [this](const QString &message) { note(message); }),
      m_timer(new QTimer(this)) {
  if (m_options.user.isEmpty())
    m_options.user = common::loginName();
  if (!m_options.store)
    m_options.store = programStore;
  m_engine.setListener([this](const AlarmEvent &event) { onEvent(event); });
  {
    const std::unique_ptr<QSettings> store = m_options.store();
    const LoadedSettings loaded = loadAlarmSettings(*store);
    m_engine.setSettings(loaded.settings, now());
    for (const QString &problem : loaded.problems)
      note(problem);
  }
  if (!m_options.command.isEmpty()) {
    m_command = new AlarmCommand(m_options.command, m_options.commandKillMs, this);
    connect(m_command, &AlarmCommand::failed, this,
            [this](const CommandFields &fields, const QString &reason) {
              const QString what = fields.quantity.isEmpty()
                                       ? QStringLiteral("the ") + fields.event
                                       : fields.quantity + QLatin1Char(' ') + fields.event;
              std::fprintf(stderr, "Alarm command for %s: %s\n", qPrintable(what),
                           qPrintable(reason));
              // The journal holds alarms; the heartbeat is none (a missing one is its report).
              if (fields.quantity.isEmpty())
                return;
              m_journal.append({now(), fields.quantity, QStringLiteral("command_failed"),
                                fields.value.isEmpty() ? NAN : fields.value.toDouble(),
                                fields.limit.isEmpty() ? NAN : fields.limit.toDouble(), {}});
            });
  }
  if (m_options.heartbeat)
    m_heartbeatDueMs = nextHeartbeat(now());
  m_timer->setTimerType(Qt::PreciseTimer);
  connect(m_timer, &QTimer::timeout, this, &AlarmMonitor::tick);
  m_timer->start(m_options.tickMs);
}

AlarmMonitor::~AlarmMonitor() = default;

qint64 AlarmMonitor::now() const {
  return m_options.now ? m_options.now() : QDateTime::currentMSecsSinceEpoch();
}

void AlarmMonitor::readingStored(const state::Reading &reading) {
  // An alarm compares what the window shows: the pH with its correction, a temperature with its
  // offset.
  m_engine.reading(reading.quantity, reading.corrected,
                   reading.time.isValid() ? reading.time.toMSecsSinceEpoch() : now());
}

void AlarmMonitor::channelSwitched(state::Channel channel, bool on) {
  m_engine.channelSwitched(channel, on, now());
}

void AlarmMonitor::channelFailed(state::Channel channel) {
  m_engine.channelFailed(channel, now());
}

void AlarmMonitor::tick() {
  const qint64 at = now();
  m_engine.tick(at);
  remind(at);
  beat(at);
}

// One reminder per period of the active unacknowledged state, counted from its start; periods a
// late tick or a suspended machine missed make one reminder, not a burst.
void AlarmMonitor::remind(qint64 nowMs) {
  if (!m_command || m_options.repeatMinutes <= 0)
    return;
  const qint64 periodMs = qint64(m_options.repeatMinutes) * 60000;
  for (const Alarm alarm : allAlarms) {
    const AlarmStatus &status = m_engine.status(alarm);
    const int i = index(alarm);
    if (status.state != AlarmState::ActiveUnacknowledged)
      continue;
    if (m_remindedSince[i] != status.sinceMs) {
      m_remindedSince[i] = status.sinceMs;
      m_remindedPeriods[i] = 0;
    }
    const qint64 periods = (nowMs - status.sinceMs) / periodMs;
    if (periods <= m_remindedPeriods[i])
      continue;
    m_remindedPeriods[i] = periods;
    m_command->run({key(alarm), QStringLiteral("reminder"), stateKey(status.state),
                    conditionKey(status.condition), number(status.value), number(status.limit),
                    utcText(nowMs), {}},
                   nowMs);
  }
}

void AlarmMonitor::beat(qint64 nowMs) {
  if (!m_options.heartbeat)
    return;
  // A wall clock set back keeps the heartbeat at its time on the clock as it now is.
  m_heartbeatDueMs = std::min(m_heartbeatDueMs, nextHeartbeat(nowMs));
  if (nowMs < m_heartbeatDueMs)
    return;
  m_heartbeatDueMs = nextHeartbeat(nowMs);
  const HeartbeatSummary beat = summary(nowMs);
  emit heartbeat(beat);
  if (!m_command)
    return;
  const QString lastRecord = beat.lastRecordMs > 0 ? utcText(beat.lastRecordMs) : QString();
  m_command->run({{}, QStringLiteral("heartbeat"), {}, {}, {}, {}, utcText(nowMs),
                  {{QStringLiteral("BRELLIS_ACTIVE_ALARMS"), QString::number(beat.activeAlarms)},
                   {QStringLiteral("BRELLIS_CHANNELS_ON"), beat.channelsOn.join(QLatin1Char(','))},
                   {QStringLiteral("BRELLIS_LOG_FILE"), beat.logFile},
                   {QStringLiteral("BRELLIS_LAST_RECORD"), lastRecord}}},
                 nowMs);
}

// The first local time of the heartbeat after `afterMs`. A day whose clock skips that time
// (a daylight saving change) has it at the time Qt moves it to, or the next day.
qint64 AlarmMonitor::nextHeartbeat(qint64 afterMs) const {
  const QDate today = QDateTime::fromMSecsSinceEpoch(afterMs).date();
  for (int day = 0; day < 3; ++day) {
    const QDateTime at(today.addDays(day), *m_options.heartbeat);
    if (at.isValid() && at.toMSecsSinceEpoch() > afterMs)
      return at.toMSecsSinceEpoch();
  }
  return afterMs + 24 * 3600 * 1000;
}

HeartbeatSummary AlarmMonitor::summary(qint64 nowMs) const {
  HeartbeatSummary summary{nowMs, m_engine.activeCount(), {}, m_logFile, m_lastRecordMs};
  for (const state::ChannelInfo &channel : state::channels)
    if (m_state.*channel.enabled)
      summary.channelsOn << QString::fromLatin1(channel.key);
  return summary;
}

void AlarmMonitor::acknowledge(Alarm alarm) {
  m_byOperator = true;
  m_engine.acknowledge(alarm, now());
  m_byOperator = false;
}

void AlarmMonitor::acknowledgeAll() {
  m_byOperator = true;
  m_engine.acknowledgeAll(now());
  m_byOperator = false;
}

void AlarmMonitor::shelve(Alarm alarm, int minutes) {
  m_byOperator = true;
  const qint64 at = now();
  m_engine.shelve(alarm, at + qint64(minutes) * 60000, at);
  m_byOperator = false;
}

void AlarmMonitor::unshelve(Alarm alarm) {
  m_byOperator = true;
  m_engine.unshelve(alarm, now());
  m_byOperator = false;
}

// limits_changed lines carry the row's low limit as the value and its high limit as the limit
// (the no-reading time, for a channel); empty where off.
void AlarmMonitor::setSettings(const AlarmSettings &settings) {
  const AlarmSettings old = m_engine.settings();
  if (settings == old)
    return;
  const std::unique_ptr<QSettings> store = m_options.store();
  saveAlarmSettings(*store, settings);
  if (store->status() != QSettings::NoError)
    note(QStringLiteral("The alarm limits could not be saved in the settings store."));
  const qint64 at = now();
  for (int i = 0; i < limitAlarmCount; ++i) {
    const Limits &limits = settings.limits[i];
    if (!(limits == old.limits[i]))
      journal(at, key(static_cast<Alarm>(i)), QStringLiteral("limits_changed"),
              limits.low.value_or(NAN), limits.high.value_or(NAN), true);
  }
  for (int c = 0; c < state::channelCount; ++c)
    if (settings.noReadingSeconds[c] != old.noReadingSeconds[c])
      journal(at, key(noReadingAlarm(static_cast<state::Channel>(c))),
              QStringLiteral("limits_changed"), NAN,
              settings.noReadingSeconds[c] > 0 ? settings.noReadingSeconds[c] : NAN, true);
  m_engine.setSettings(settings, at);
}

void AlarmMonitor::setLogFile(const QString &path) {
  m_journal.setLogFile(path);
  m_logFile = path;
}

void AlarmMonitor::logRecordWritten(const QString &file, const QDateTime &time) {
  m_lastRecordMs = time.toMSecsSinceEpoch();
  // With a new file each day, the records go on in that day's file.
  if (!m_logFile.isEmpty())
    m_logFile = file;
}

void AlarmMonitor::onEvent(const AlarmEvent &event) {
  const bool byOperator = m_byOperator && (event.kind == EventKind::Acknowledged ||
                                           event.kind == EventKind::Shelved ||
                                           event.kind == EventKind::Unshelved);
  journal(event.timeMs, key(event.alarm), eventKey(event.kind), event.value, event.limit, byOperator);
  if (m_command && (event.kind == EventKind::Raised || event.kind == EventKind::Returned)) {
    m_command->run({key(event.alarm), eventKey(event.kind), stateKey(event.status.state),
                    conditionKey(event.status.condition), number(event.value),
                    number(event.limit), utcText(event.timeMs), {}},
                   event.timeMs);
  }
  emit alarmEvent(event);
  const int active = m_engine.activeCount();
  const int unacknowledged = m_engine.unacknowledgedCount();
  if (active != m_lastActive || unacknowledged != m_lastUnacknowledged) {
    m_lastActive = active;
    m_lastUnacknowledged = unacknowledged;
    emit countsChanged(active, unacknowledged);
  }
}

void AlarmMonitor::journal(qint64 timeMs, const QString &quantity, const QString &event,
                           double value, double limit, bool byOperator) {
  const QString user = m_actingUser.isEmpty() ? m_options.user : m_actingUser;
  m_journal.append({timeMs, quantity, event, value, limit, byOperator ? user : QString()});
}

void AlarmMonitor::note(const QString &text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
  m_notes << text;
  emit notesChanged(m_notes);
}

} // namespace alarms
