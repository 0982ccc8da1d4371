#pragma once

#include "state/quantities.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <limits>
#include <optional>

// The alarm engine: limits with deadband and on-delay, no-reading alarms, and the standard alarm
// states. Pure: no clock, no widgets, no files. Every call is given the time, in milliseconds
// since the epoch, so the same input always gives the same events.
namespace alarms {

// One limit alarm per limited quantity, one no-reading alarm per channel.
enum class Alarm { Ph1, Ph2, Therm1, Therm2, Therm3, Flow, PhSilent, FlowSilent, ThermSilent };
inline constexpr int alarmCount = 9;
inline constexpr int limitAlarmCount = 6;
inline constexpr std::array<Alarm, alarmCount> allAlarms{
    Alarm::Ph1,    Alarm::Ph2,      Alarm::Therm1,     Alarm::Therm2,     Alarm::Therm3,
    Alarm::Flow,   Alarm::PhSilent, Alarm::FlowSilent, Alarm::ThermSilent};

constexpr int index(Alarm alarm) { return static_cast<int>(alarm); }
constexpr bool isNoReading(Alarm alarm) { return index(alarm) >= limitAlarmCount; }
// The quantity of a limit alarm.
state::Quantity quantity(Alarm alarm);
// The channel of any alarm.
state::Channel channel(Alarm alarm);
std::optional<Alarm> limitAlarm(state::Quantity quantity);
Alarm noReadingAlarm(state::Channel channel);
// The catalogue key of the quantity ("ph1"), or the channel key ("ph") for a no-reading alarm.
QString key(Alarm alarm);
// What a person reads: "pH 1", "pH module (no reading)".
QString name(Alarm alarm);

enum class AlarmState {
  Normal,
  ActiveUnacknowledged,
  ActiveAcknowledged,
  ReturnedUnacknowledged, // latched until acknowledged
  Shelved,                // silenced until a set time
};
enum class Condition { None, Low, High, NoReading };
enum class EventKind { Raised, Acknowledged, Returned, Shelved, Unshelved };

// "active_unacknowledged" ...: the words files and topics use.
QString stateKey(AlarmState state);
QString eventKey(EventKind kind);
QString conditionKey(Condition condition); // high, low, no_reading; empty for None

inline constexpr double noValue = std::numeric_limits<double>::quiet_NaN();

// The limits of one quantity, in its displayed unit. A limit not set is off.
struct Limits {
  std::optional<double> low;
  std::optional<double> high;
  double deadband = 0;       // how far back inside a limit the value must come to return
  double onDelaySeconds = 0; // how long a limit must stay crossed before the alarm is raised
  bool operator==(const Limits &) const = default;
};

struct AlarmSettings {
  std::array<Limits, limitAlarmCount> limits{}; // in the order of Alarm
  // Seconds without a sound reading before a switched-on channel's alarm; 0 is off.
  std::array<double, state::channelCount> noReadingSeconds{};
  bool operator==(const AlarmSettings &) const = default;
};

// What the operator sees of one alarm.
struct AlarmStatus {
  AlarmState state = AlarmState::Normal;
  // The condition of the current or latest excursion; None only before the first one.
  Condition condition = Condition::None;
  double value = noValue; // the newest value (seconds without a reading, for no-reading)
  double limit = noValue; // the limit crossed (seconds, for no-reading)
  qint64 sinceMs = 0;     // when the state was entered
  qint64 shelvedUntilMs = 0;
  // When the current or latest excursion was raised, 0 before the first: kept through its
  // acknowledge, shelve, unshelve and return, so the excursion's start stays known.
  qint64 raisedMs = 0;
  // The operator's last acknowledge or shelve of the alarm since that raise; 0 when none. A shelf
  // still in force at a new raise keeps its time.
  qint64 handledMs = 0;
};

// What a person reads: "high alarm, unacknowledged", "normal".
QString describe(const AlarmStatus &status);

struct AlarmEvent {
  Alarm alarm;
  EventKind kind;
  double value; // at the time of the event; NaN when there is none
  double limit;
  qint64 timeMs;
  AlarmStatus status; // after the event
};

class AlarmEngine {
public:
  using Listener = std::function<void(const AlarmEvent &)>;

  // The listener hears every event, in order, before the call that caused it returns.
  void setListener(Listener listener) { m_listener = std::move(listener); }

  // New limits take effect from the next reading; an active alarm whose crossed limit is now
  // off returns at once.
  void setSettings(const AlarmSettings &settings, qint64 nowMs);
  const AlarmSettings &settings() const { return m_settings; }

  // A reading stored and shown: `value` as displayed (pH with its correction, temperatures with
  // their offsets). Any reading counts as a sound reading of its channel. A value that is not
  // finite changes nothing.
  void reading(state::Quantity quantity, double value, qint64 nowMs);
  // The operator switched a channel on or off. Off by the operator ends its no-reading watch.
  void channelSwitched(state::Channel channel, bool on, qint64 nowMs);
  // A reader failure switched the channel off: it is still watched, and stays silent.
  void channelFailed(state::Channel channel, qint64 nowMs);
  // No-reading watches and shelf expiries; call at least once per read period.
  void tick(qint64 nowMs);

  bool acknowledge(Alarm alarm, qint64 nowMs);
  void acknowledgeAll(qint64 nowMs);
  void shelve(Alarm alarm, qint64 untilMs, qint64 nowMs);
  void unshelve(Alarm alarm, qint64 nowMs);

  const AlarmStatus &status(Alarm alarm) const { return m_tracks[index(alarm)].status; }
  // Alarms whose condition is present and not shelved.
  int activeCount() const;
  // Alarms waiting for an acknowledgement (active or returned).
  int unacknowledgedCount() const;

private:
  struct Track {
    AlarmStatus status;
    bool active = false; // the condition, after delay and deadband, shelved or not
    Condition pending = Condition::None;
    qint64 pendingSinceMs = 0;
    AlarmState beforeShelf = AlarmState::Normal;
  };
  struct Watch {
    bool watched = false;
    bool failed = false;
    qint64 lastSoundMs = 0;
  };

  void evaluateLimits(Alarm alarm, double value, qint64 nowMs);
  void evaluateSilence(state::Channel channel, qint64 nowMs);
  void raise(Alarm alarm, Condition condition, double value, double limit, qint64 nowMs);
  void clear(Alarm alarm, double value, qint64 nowMs);
  void enter(Track &track, AlarmState state, qint64 nowMs);
  void emitEvent(Alarm alarm, EventKind kind, double value, qint64 nowMs);

  AlarmSettings m_settings;
  std::array<Track, alarmCount> m_tracks{};
  std::array<Watch, state::channelCount> m_watches{};
  Listener m_listener;
};

} // namespace alarms
