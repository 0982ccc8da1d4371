#include "alarms/alarm_engine.h"

#include <cmath>

namespace alarms {
namespace {

using state::Channel;
using state::Quantity;

constexpr std::array<Quantity, limitAlarmCount> limitQuantities{
    Quantity::Ph1,    Quantity::Ph2,    Quantity::Therm1,
    Quantity::Therm2, Quantity::Therm3, Quantity::LitersPerMin};

bool isActiveState(AlarmState state) {
  return state == AlarmState::ActiveUnacknowledged || state == AlarmState::ActiveAcknowledged;
}

} // namespace

state::Quantity quantity(Alarm alarm) { return limitQuantities[index(alarm)]; }

state::Channel channel(Alarm alarm) {
  if (isNoReading(alarm))
    return static_cast<Channel>(index(alarm) - limitAlarmCount);
  return state::info(quantity(alarm)).channel;
}

std::optional<Alarm> limitAlarm(state::Quantity quantity) {
  for (int i = 0; i < limitAlarmCount; ++i)
    if (limitQuantities[i] == quantity)
      return static_cast<Alarm>(i);
  return std::nullopt;
}

Alarm noReadingAlarm(state::Channel channel) {
  return static_cast<Alarm>(limitAlarmCount + static_cast<int>(channel));
}

QString key(Alarm alarm) {
  if (isNoReading(alarm))
    return QString::fromUtf8(state::info(channel(alarm)).key);
  return QString::fromUtf8(state::info(quantity(alarm)).key);
}

QString name(Alarm alarm) {
  switch (alarm) {
  case Alarm::PhSilent:
    return QStringLiteral("pH modules (no reading)");
  case Alarm::FlowSilent:
    return QStringLiteral("Flow module (no reading)");
  case Alarm::ThermSilent:
    return QStringLiteral("Thermistor modules (no reading)");
  default:
    return QString::fromUtf8(state::info(quantity(alarm)).name);
  }
}

QString stateKey(AlarmState state) {
  switch (state) {
  case AlarmState::Normal:
    return QStringLiteral("normal");
  case AlarmState::ActiveUnacknowledged:
    return QStringLiteral("active_unacknowledged");
  case AlarmState::ActiveAcknowledged:
    return QStringLiteral("active_acknowledged");
  case AlarmState::ReturnedUnacknowledged:
    return QStringLiteral("returned_unacknowledged");
  case AlarmState::Shelved:
    return QStringLiteral("shelved");
  }
  return {};
}

QString eventKey(EventKind kind) {
  switch (kind) {
  case EventKind::Raised:
    return QStringLiteral("raised");
  case EventKind::Acknowledged:
    return QStringLiteral("acknowledged");
  case EventKind::Returned:
    return QStringLiteral("returned");
  case EventKind::Shelved:
    return QStringLiteral("shelved");
  case EventKind::Unshelved:
    return QStringLiteral("unshelved");
  }
  return {};
}

QString conditionKey(Condition condition) {
  switch (condition) {
  case Condition::Low:
    return QStringLiteral("low");
  case Condition::High:
    return QStringLiteral("high");
  case Condition::NoReading:
    return QStringLiteral("no_reading");
  case Condition::None:
    break;
  }
  return {};
}

QString describe(const AlarmStatus &status) {
  const QString kind = status.condition == Condition::NoReading
                           ? QStringLiteral("no-reading")
                           : conditionKey(status.condition);
  switch (status.state) {
  case AlarmState::Normal:
    return QStringLiteral("normal");
  case AlarmState::ActiveUnacknowledged:
    return QStringLiteral("%1 alarm, unacknowledged").arg(kind);
  case AlarmState::ActiveAcknowledged:
    return QStringLiteral("%1 alarm, acknowledged").arg(kind);
  case AlarmState::ReturnedUnacknowledged:
    return QStringLiteral("%1 alarm returned to normal, unacknowledged").arg(kind);
  case AlarmState::Shelved:
    return QStringLiteral("shelved");
  }
  return {};
}

void AlarmEngine::setSettings(const AlarmSettings &settings, qint64 nowMs) {
  m_settings = settings;
  for (int i = 0; i < limitAlarmCount; ++i) {
    Track &track = m_tracks[i];
    const Limits &limits = settings.limits[i];
    track.pending = Condition::None; // a delay under way starts again under the new limits
    const bool limitGone = (track.status.condition == Condition::High && !limits.high) ||
                           (track.status.condition == Condition::Low && !limits.low);
    if (track.active && limitGone)
      clear(static_cast<Alarm>(i), track.status.value, nowMs);
  }
  for (int c = 0; c < state::channelCount; ++c)
    evaluateSilence(static_cast<Channel>(c), nowMs);
}

void AlarmEngine::reading(state::Quantity quantity, double value, qint64 nowMs) {
  if (!std::isfinite(value))
    return;
  const Channel ch = state::info(quantity).channel;
  m_watches[static_cast<int>(ch)].lastSoundMs = nowMs;
  evaluateSilence(ch, nowMs);
  if (const std::optional<Alarm> alarm = limitAlarm(quantity))
    evaluateLimits(*alarm, value, nowMs);
}

void AlarmEngine::evaluateLimits(Alarm alarm, double value, qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  const Limits &limits = m_settings.limits[index(alarm)];
  track.status.value = value;
  if (track.active) {
    const bool back = track.status.condition == Condition::High
                          ? (!limits.high || value <= *limits.high - limits.deadband)
                          : (!limits.low || value >= *limits.low + limits.deadband);
    if (!back)
      return;
    clear(alarm, value, nowMs); // and the value may already be past the other limit
  }
  const Condition crossed = limits.high && value > *limits.high ? Condition::High
                            : limits.low && value < *limits.low ? Condition::Low
                                                                : Condition::None;
  if (crossed == Condition::None) {
    track.pending = Condition::None;
    return;
  }
  if (track.pending != crossed) {
    track.pending = crossed;
    track.pendingSinceMs = nowMs;
  }
  if (double(nowMs - track.pendingSinceMs) >= limits.onDelaySeconds * 1000.0) {
    track.pending = Condition::None;
    raise(alarm, crossed, value, crossed == Condition::High ? *limits.high : *limits.low, nowMs);
  }
}

void AlarmEngine::channelSwitched(state::Channel channel, bool on, qint64 nowMs) {
  Watch &watch = m_watches[static_cast<int>(channel)];
  if (on) {
    if (!watch.watched)
      watch.lastSoundMs = nowMs; // the silence is counted from the switch
    watch.watched = true;
    watch.failed = false;
  } else if (!watch.failed) {
    watch.watched = false;
  }
  evaluateSilence(channel, nowMs);
}

void AlarmEngine::channelFailed(state::Channel channel, qint64 nowMs) {
  Watch &watch = m_watches[static_cast<int>(channel)];
  watch.failed = true;
  watch.watched = true;
  evaluateSilence(channel, nowMs);
}

void AlarmEngine::evaluateSilence(state::Channel channel, qint64 nowMs) {
  const Alarm alarm = noReadingAlarm(channel);
  Track &track = m_tracks[index(alarm)];
  const Watch &watch = m_watches[static_cast<int>(channel)];
  const double limit = m_settings.noReadingSeconds[static_cast<int>(channel)];
  const double silent = double(nowMs - watch.lastSoundMs) / 1000.0;
  const bool condition = watch.watched && limit > 0 && silent >= limit;
  if (track.active)
    track.status.value = silent;
  if (condition && !track.active)
    raise(alarm, Condition::NoReading, silent, limit, nowMs);
  else if (!condition && track.active)
    clear(alarm, watch.watched ? silent : noValue, nowMs);
}

void AlarmEngine::tick(qint64 nowMs) {
  for (int c = 0; c < state::channelCount; ++c)
    evaluateSilence(static_cast<Channel>(c), nowMs);
  for (const Alarm alarm : allAlarms) {
    const AlarmStatus &status = m_tracks[index(alarm)].status;
    if (status.state == AlarmState::Shelved && nowMs >= status.shelvedUntilMs)
      unshelve(alarm, nowMs);
  }
}

void AlarmEngine::raise(Alarm alarm, Condition condition, double value, double limit,
                        qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  track.active = true;
  track.status.condition = condition;
  track.status.value = value;
  track.status.limit = limit;
  track.status.raisedMs = nowMs;
  if (track.status.state == AlarmState::Shelved)
    return; // announced, if still present, when the shelf ends
  track.status.handledMs = 0;
  enter(track, AlarmState::ActiveUnacknowledged, nowMs);
  emitEvent(alarm, EventKind::Raised, value, nowMs);
}

void AlarmEngine::clear(Alarm alarm, double value, qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  track.active = false;
  track.status.value = value;
  switch (track.status.state) {
  case AlarmState::ActiveUnacknowledged:
    enter(track, AlarmState::ReturnedUnacknowledged, nowMs);
    break;
  case AlarmState::ActiveAcknowledged:
    enter(track, AlarmState::Normal, nowMs);
    break;
  default:
    return; // shelved: the return is announced when the shelf ends
  }
  emitEvent(alarm, EventKind::Returned, value, nowMs);
}

bool AlarmEngine::acknowledge(Alarm alarm, qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  if (track.status.state == AlarmState::ActiveUnacknowledged)
    enter(track, AlarmState::ActiveAcknowledged, nowMs);
  else if (track.status.state == AlarmState::ReturnedUnacknowledged)
    enter(track, AlarmState::Normal, nowMs);
  else
    return false;
  track.status.handledMs = nowMs;
  emitEvent(alarm, EventKind::Acknowledged, track.status.value, nowMs);
  return true;
}

void AlarmEngine::acknowledgeAll(qint64 nowMs) {
  for (const Alarm alarm : allAlarms)
    acknowledge(alarm, nowMs);
}

void AlarmEngine::shelve(Alarm alarm, qint64 untilMs, qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  if (track.status.state != AlarmState::Shelved) {
    track.beforeShelf = track.status.state;
    enter(track, AlarmState::Shelved, nowMs);
  }
  track.status.shelvedUntilMs = untilMs;
  track.status.handledMs = nowMs;
  emitEvent(alarm, EventKind::Shelved, track.status.value, nowMs);
}

// Off the shelf, the alarm shows what it is now. What changed while it was shelved is announced
// then: a raise the operator has not seen, or the return of one seen before.
void AlarmEngine::unshelve(Alarm alarm, qint64 nowMs) {
  Track &track = m_tracks[index(alarm)];
  if (track.status.state != AlarmState::Shelved)
    return;
  const bool wasAnnounced = isActiveState(track.beforeShelf);
  enter(track, track.active ? AlarmState::ActiveUnacknowledged : AlarmState::Normal, nowMs);
  track.status.shelvedUntilMs = 0;
  emitEvent(alarm, EventKind::Unshelved, track.status.value, nowMs);
  if (track.active && !wasAnnounced)
    emitEvent(alarm, EventKind::Raised, track.status.value, nowMs);
  else if (!track.active && wasAnnounced)
    emitEvent(alarm, EventKind::Returned, track.status.value, nowMs);
}

void AlarmEngine::enter(Track &track, AlarmState state, qint64 nowMs) {
  track.status.state = state;
  track.status.sinceMs = nowMs;
}

void AlarmEngine::emitEvent(Alarm alarm, EventKind kind, double value, qint64 nowMs) {
  if (!m_listener)
    return;
  const AlarmStatus &status = m_tracks[index(alarm)].status;
  m_listener(AlarmEvent{alarm, kind, value, status.limit, nowMs, status});
}

int AlarmEngine::activeCount() const {
  int count = 0;
  for (const Track &track : m_tracks)
    count += isActiveState(track.status.state) ? 1 : 0;
  return count;
}

int AlarmEngine::unacknowledgedCount() const {
  int count = 0;
  for (const Track &track : m_tracks)
    count += track.status.state == AlarmState::ActiveUnacknowledged ||
                     track.status.state == AlarmState::ReturnedUnacknowledged
                 ? 1
                 : 0;
  return count;
}

} // namespace alarms
