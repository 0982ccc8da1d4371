#pragma once

#include "alarms/alarm_engine.h"
#include "state/quantities.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <optional>
#include <unordered_set>

namespace stations {

// What a tile shows, in its order.
enum class Shown { Ph1, Ph2, Therm1, Therm2, Therm3, FlowRate, FlowTotal };
constexpr int shownCount = 7;

struct ShownInfo {
  const char *name; // as the tile labels it, and as a screen reader says it
  const char *unit;
  int decimals;
  int channel; // index into Station::switches
};
const ShownInfo &info(Shown shown);

// The channel switches a station publishes, in Station::switches' order.
using state::Channel;
using state::channelCount;
// "ph", "flow", "therm".
const char *channelName(Channel channel);

// Why a message was not taken.
enum class Garbage {
  BadTopic,  // not <base>/<station>/<a topic a station publishes>, or a name not UTF-8
  TooLarge,  // a payload over maxPayload bytes
  NotJson,   // a reading that is no JSON object (NaN and 1e999 are no JSON either)
  NoNumber,  // a reading without a finite numeric "value"
  BadWord,   // a status other than online/offline, a switch other than on/off, a simulated
             // other than true/false, an alarm state other than the alarm topics' words
  TooLong,   // a topic over maxTopic bytes, or a station name over maxName characters
  NoStation, // a sound message on a topic no tile shows, from a station not known yet
  TooMany,   // a message of a station beyond the most the view shows
};
constexpr int garbageKinds = 8;

// One message off the network, stamped with the monotonic milliseconds at which it arrived.
struct Incoming {
  QByteArray topic;
  QByteArray payload;
  qint64 receivedMs = 0;
  bool retained = false; // the broker kept it: it says nothing of when the station was last heard
};

struct Value {
  double value = 0;
  qint64 at = -1; // receipt time; -1: never received
};

// One alarm as the station last published it on <prefix>/alarm/<key>.
struct AlarmSeen {
  std::optional<alarms::AlarmState> state; // unset: never published
  alarms::Condition condition = alarms::Condition::None;
};

struct Station {
  QString name; // the topic level as it came, shown as plain text only
  std::optional<bool> online;                        // the retained status, or the last will
  std::array<std::optional<bool>, channelCount> switches;
  std::array<Value, shownCount> readings;  // as published on the plain topics
  std::array<Value, shownCount> corrected; // with the operator's correction or offset
  qint64 lastSeenMs = -1;      // the newest message of any kind
  qint64 newestReadingMs = -1; // the newest reading
  double periodMs = 0;         // the station's update period as seen so far; 0: not known
  std::array<qint64, shownCount> lastPlainMs{-1, -1, -1, -1, -1, -1, -1};
  std::array<AlarmSeen, alarms::alarmCount> alarms; // in the order of alarms::Alarm
  std::optional<bool> simulated; // the retained <prefix>/simulated; unset: never published
  bool takesCommands = false;    // the retained <prefix>/commands is "on"

  // The corrected value where the station publishes one (as its window shows it), else the plain.
  const Value &shownValue(Shown shown) const;
};

// Whether the alarm's condition is present (active, acknowledged or not).
bool inAlarm(const AlarmSeen &alarm);
// Whether the station takes commands and has an alarm waiting for an acknowledgement.
bool canAcknowledge(const Station &station);
// What a tile says of each alarm in alarm, in the order of alarms::Alarm: "pH 1 high",
// "Flow module (no reading)".
QStringList alarmTexts(const Station &station);
// The display of a limit alarm's quantity, if a tile shows it.
std::optional<Shown> shownOf(alarms::Alarm alarm);

enum class ReadingState { None, Current, Stale, SwitchedOff };
enum class StationState { Unknown, Online, Stale, Offline };

// What a message did, for the view's bookkeeping.
struct Applied {
  const Station *station = nullptr;
  std::optional<Shown> reading; // set when a reading was stored
};

// The stations found under one base topic, built from the messages that arrive: pure, no network,
// no clock of its own. Stations are kept sorted by name (case-insensitive first), so tiles keep
// their order as stations come and go.
//
// Anyone who may publish under the base can send anything, so what a message can cost is
// bounded: a station comes into being only from a sound message on a topic a tile shows (its
// status, a reading with a valid payload, a switch, a shown alarm, whether it is simulated); a topic over maxTopic bytes or
// a name over maxName characters is refused; and there are at most maxStations stations, the
// names beyond them counted (up to countedNamesCap of them) rather than kept.
class StationModel {
public:
  static constexpr qsizetype maxPayload = 64 * 1024;
  static constexpr qsizetype maxTopic = 256;
  static constexpr int maxName = 64;
  static constexpr int defaultMaxStations = 500;
  static constexpr std::size_t countedNamesCap = 100000;
  // A reading is stale once older than this many of its station's update periods, or than
  // unknownPeriodStaleMs while the period is not yet known.
  static constexpr int stalePeriods = 3;
  static constexpr qint64 unknownPeriodStaleMs = 10000;

  explicit StationModel(const QByteArray &base, int maxStations = defaultMaxStations);

  // The subscription that brings every station's topics.
  QByteArray filter() const { return m_base + "/+/#"; }

  // Takes one message; garbage is counted and changes nothing else.
  Applied apply(const Incoming &message);
  void remove(const QString &name);

  struct ByName {
    bool operator()(const QString &a, const QString &b) const;
  };
  const std::map<QString, Station, ByName> &stations() const { return m_stations; }

  qint64 garbageCount() const;
  qint64 garbageCount(Garbage kind) const { return m_garbage[int(kind)]; }
  int maxStations() const { return m_maxStations; }
  // How many different station names were refused for want of room (at most countedNamesCap).
  qint64 stationsBeyondMax() const { return qint64(m_beyond.size()); }

  static qint64 staleAfterMs(const Station &station);
  static ReadingState readingState(const Station &station, Shown shown, qint64 nowMs);
  static StationState stationState(const Station &station, qint64 nowMs);
  // The first time after nowMs at which the clock alone changes what a tile shows of the
  // station (the next second of its newest reading's age, a reading or the station turning
  // stale); INT64_MAX when nothing will without a message.
  static qint64 nextChangeMs(const Station &station, qint64 nowMs);
  // The first time after nowMs at which a reading or the station turns stale; INT64_MAX: none.
  static qint64 nextStaleMs(const Station &station, qint64 nowMs);

private:
  Applied garbage(Garbage kind);

  QByteArray m_base;
  int m_maxStations;
  std::map<QString, Station, ByName> m_stations;
  std::unordered_set<std::size_t> m_beyond; // hashes of the names refused for want of room
  std::array<qint64, garbageKinds> m_garbage{};
};

// The numeric "value" of a reading's JSON payload, or why there is none.
std::optional<double> readingValue(const QByteArray &payload, Garbage *why);

} // namespace stations
