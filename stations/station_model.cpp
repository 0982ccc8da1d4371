#include "stations/station_model.h"

#include "publish/payloads.h"
#include "publish/topics.h"
#include "state/quantities.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <vector>
#include <iterator>
#include <limits>

namespace stations {
namespace {

// What each tile display shows, in the order of Shown.
constexpr state::Quantity shownQuantities[shownCount] = {
    state::Quantity::Ph1,    state::Quantity::Ph2,          state::Quantity::Therm1,
    state::Quantity::Therm2, state::Quantity::Therm3,       state::Quantity::LitersPerMin,
    state::Quantity::TotalLiters,
};

enum class Kind { Status, Switch, Reading, Corrected, OtherReading, Alarm, Simulated, Commands, Ignored };

struct TopicKind {
  QByteArray suffix;
  Kind kind;
  int index; // Shown for readings, Channel for switches, alarms::Alarm for alarms
};

// Every topic a publishing station sends under its prefix.
const std::vector<TopicKind> &topics() {
  static const std::vector<TopicKind> all = [] {
    // Topics a station publishes that no tile shows yet: they are not garbage.
    namespace topics = publish::topics;
    std::vector<TopicKind> list{{topics::status, Kind::Status, 0},
                                {topics::simulated, Kind::Simulated, 0},
                                {topics::commands, Kind::Commands, 0},
                                {topics::alarmsActive, Kind::Ignored, 0},
                                {topics::event, Kind::Ignored, 0},
                                {topics::heartbeat, Kind::Ignored, 0}};
    for (const topics::ProbeTopics &probe : topics::probeTopics) {
      list.push_back({probe.calibration, Kind::Ignored, 0});
      list.push_back({probe.calibrationDue, Kind::Ignored, 0});
    }
    for (const state::ChannelInfo &channel : state::channels) {
      list.push_back({topics::of(channel.channel), Kind::Switch, int(channel.channel)});
      list.push_back({QByteArray(topics::alarmPrefix) + channel.key, Kind::Alarm,
                      alarms::index(alarms::noReadingAlarm(channel.channel))});
    }
    for (const state::QuantityInfo &quantity : state::quantities) {
      const std::optional<alarms::Alarm> alarm = alarms::limitAlarm(quantity.quantity);
      list.push_back({QByteArray(topics::alarmPrefix) + quantity.key,
                      alarm ? Kind::Alarm : Kind::Ignored,
                      alarm ? alarms::index(*alarm) : 0});
    }
    for (const state::QuantityInfo &quantity : state::quantities) {
      const auto shown = std::find(std::begin(shownQuantities), std::end(shownQuantities),
                                   quantity.quantity);
      const int index = int(shown - std::begin(shownQuantities));
      const topics::QuantityTopic &names = topics::of(quantity.quantity);
      list.push_back({names.topic, index < shownCount ? Kind::Reading : Kind::OtherReading,
                      index});
      if (names.correctedTopic && index < shownCount)
        list.push_back({names.correctedTopic, Kind::Corrected, index});
    }
    return list;
  }();
  return all;
}

qsizetype codePoints(const QString &text) {
  qsizetype count = text.size();
  for (const QChar c : text)
    count -= c.isLowSurrogate() ? 1 : 0;
  return count;
}

const TopicKind *topicKind(QByteArrayView suffix) {
  // Commands to a station (the view's own "Acknowledge" among them) are no news of it.
  static const TopicKind command{publish::topics::commandPrefix, Kind::Ignored, 0};
  if (suffix.startsWith(publish::topics::commandPrefix))
    return &command;
  for (const TopicKind &topic : topics())
    if (suffix == topic.suffix)
      return &topic;
  return nullptr;
}

// What a sound payload says.
struct Parsed {
  std::optional<bool> word; // status and switches
  double value = 0;         // readings
  AlarmSeen alarm;
};

std::optional<Garbage> parseWord(bool status, const QByteArray &payload, Parsed &parsed) {
  if (payload == (status ? "online" : "on"))
    parsed.word = true;
  else if (payload == (status ? "offline" : "off"))
    parsed.word = false;
  else
    return Garbage::BadWord;
  return std::nullopt;
}

// {"state":"active_unacknowledged","condition":"high",...}: the state must be one of the alarm
// topics' words; a condition that is missing or unknown is none.
std::optional<Garbage> parseAlarm(const QByteArray &payload, AlarmSeen &alarm) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    return Garbage::NotJson;
  const QJsonObject object = document.object();
  const QString state = object.value(QLatin1String("state")).toString();
  using alarms::AlarmState;
  for (const AlarmState known :
       {AlarmState::Normal, AlarmState::ActiveUnacknowledged, AlarmState::ActiveAcknowledged,
        AlarmState::ReturnedUnacknowledged, AlarmState::Shelved})
    if (state == alarms::stateKey(known))
      alarm.state = known;
  if (!alarm.state)
    return Garbage::BadWord;
  const QString condition = object.value(QLatin1String("condition")).toString();
  using alarms::Condition;
  for (const Condition known : {Condition::Low, Condition::High, Condition::NoReading})
    if (condition == alarms::conditionKey(known))
      alarm.condition = known;
  return std::nullopt;
}

std::optional<Garbage> parsePayload(Kind kind, const QByteArray &payload, Parsed &parsed) {
  switch (kind) {
  case Kind::Status:
  case Kind::Switch:
  case Kind::Commands:
    return parseWord(kind == Kind::Status, payload, parsed);
  case Kind::Reading:
  case Kind::Corrected:
  case Kind::OtherReading: {
    Garbage why{};
    const std::optional<double> value = readingValue(payload, &why);
    if (!value)
      return why;
    parsed.value = *value;
    return std::nullopt;
  }
  case Kind::Alarm:
    return parseAlarm(payload, parsed.alarm);
  case Kind::Simulated:
    if (payload != "true" && payload != "false")
      return Garbage::BadWord;
    parsed.word = payload == "true";
    return std::nullopt;
  case Kind::Ignored:
    break;
  }
  return std::nullopt;
}

Applied storeReading(Station &station, Shown shown, bool corrected, const Incoming &message,
                     double value) {
  const int k = int(shown);
  (corrected ? station.corrected : station.readings)[k] = {value, message.receivedMs};
  station.newestReadingMs = message.receivedMs;
  if (!corrected) {
    // The period: a running mean of the gaps between two readings of one quantity.
    const qint64 previous = station.lastPlainMs[k];
    if (previous >= 0 && message.receivedMs > previous) {
      const double gap = double(message.receivedMs - previous);
      station.periodMs = station.periodMs > 0 ? 0.75 * station.periodMs + 0.25 * gap : gap;
    }
    station.lastPlainMs[k] = message.receivedMs;
  }
  return {&station, shown};
}

// Takes a sound message into its station.
Applied store(Station &station, const TopicKind &kind, const Parsed &parsed,
              const Incoming &message) {
  // The broker's own words (a retained topic, the last will) say nothing of when the station
  // itself was last heard from.
  if (!message.retained && !(kind.kind == Kind::Status && parsed.word == false))
    station.lastSeenMs = message.receivedMs;
  switch (kind.kind) {
  case Kind::Status:
    station.online = parsed.word;
    break;
  case Kind::Switch:
    station.switches[kind.index] = parsed.word;
    break;
  case Kind::Reading:
  case Kind::Corrected:
    station.online = true; // a station that publishes is up, whatever an old status said
    return storeReading(station, Shown(kind.index), kind.kind == Kind::Corrected, message,
                        parsed.value);
  case Kind::OtherReading:
    station.online = true;
    station.newestReadingMs = message.receivedMs;
    break;
  case Kind::Alarm:
    station.alarms[kind.index] = parsed.alarm;
    break;
  case Kind::Simulated:
    station.simulated = parsed.word;
    break;
  case Kind::Commands:
    station.takesCommands = parsed.word == true;
    break;
  case Kind::Ignored:
    break;
  }
  return {&station, std::nullopt};
}

const std::array<ShownInfo, shownCount> shownInfo = [] {
  std::array<ShownInfo, shownCount> infos{};
  for (int k = 0; k < shownCount; ++k) {
    const state::QuantityInfo &quantity = state::quantities[int(shownQuantities[k])];
    infos[k] = {quantity.name, quantity.unit, quantity.decimals, int(quantity.channel)};
  }
  return infos;
}();

} // namespace

const ShownInfo &info(Shown shown) { return shownInfo[int(shown)]; }

const char *channelName(Channel channel) { return state::channels[int(channel)].key; }

const Value &Station::shownValue(Shown shown) const {
  const Value &withCorrection = corrected[int(shown)];
  return withCorrection.at >= 0 ? withCorrection : readings[int(shown)];
}

bool StationModel::ByName::operator()(const QString &a, const QString &b) const {
  const int folded = a.compare(b, Qt::CaseInsensitive);
  return folded != 0 ? folded < 0 : a < b;
}

std::optional<double> readingValue(const QByteArray &payload, Garbage *why) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    *why = Garbage::NotJson;
    return std::nullopt;
  }
  const QJsonValue value = document.object().value(QLatin1String("value"));
  if (!value.isDouble() || !std::isfinite(value.toDouble())) {
    *why = Garbage::NoNumber;
    return std::nullopt;
  }
  return value.toDouble();
}

bool inAlarm(const AlarmSeen &alarm) {
  return alarm.state == alarms::AlarmState::ActiveUnacknowledged ||
         alarm.state == alarms::AlarmState::ActiveAcknowledged;
}

QStringList alarmTexts(const Station &station) {
  QStringList texts;
  for (const alarms::Alarm alarm : alarms::allAlarms) {
    const AlarmSeen &seen = station.alarms[alarms::index(alarm)];
    if (!inAlarm(seen))
      continue;
    const bool limit = seen.condition == alarms::Condition::Low ||
                       seen.condition == alarms::Condition::High;
    texts << (limit ? alarms::name(alarm) + QLatin1Char(' ') + alarms::conditionKey(seen.condition)
                    : alarms::name(alarm));
  }
  return texts;
}

std::optional<Shown> shownOf(alarms::Alarm alarm) {
  if (alarms::isNoReading(alarm))
    return std::nullopt;
  const auto shown =
      std::find(std::begin(shownQuantities), std::end(shownQuantities), alarms::quantity(alarm));
  if (shown == std::end(shownQuantities))
    return std::nullopt;
  return Shown(shown - std::begin(shownQuantities));
}

StationModel::StationModel(const QByteArray &base, int maxStations)
    : m_base(base), m_maxStations(std::max(1, maxStations)) {}

Applied StationModel::garbage(Garbage kind) {
  ++m_garbage[int(kind)];
  return {};
}

qint64 StationModel::garbageCount() const {
  qint64 total = 0;
  for (qint64 count : m_garbage)
    total += count;
  return total;
}

void StationModel::remove(const QString &name) { m_stations.erase(name); }

Applied StationModel::apply(const Incoming &message) {
  const QByteArrayView topic(message.topic);
  if (topic.size() > maxTopic)
    return garbage(Garbage::TooLong);
  if (!topic.startsWith(m_base) || topic.size() <= m_base.size() + 1 ||
      topic[m_base.size()] != '/')
    return garbage(Garbage::BadTopic);
  const QByteArrayView rest = topic.sliced(m_base.size() + 1);
  const qsizetype slash = rest.indexOf('/');
  if (slash <= 0)
    return garbage(Garbage::BadTopic);
  const TopicKind *kind = topicKind(rest.sliced(slash + 1));
  if (!kind)
    return garbage(Garbage::BadTopic);
  if (message.payload.size() > maxPayload)
    return garbage(Garbage::TooLarge);

  // MQTT topics are UTF-8; a name that is not would be shown with replacement characters, and
  // two different ones would fall onto one tile.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString name = utf8(rest.first(slash));
  if (utf8.hasError())
    return garbage(Garbage::BadTopic);
  if (codePoints(name) > maxName)
    return garbage(Garbage::TooLong);
  auto found = m_stations.find(name);
  if (found == m_stations.end() && kind->kind == Kind::Ignored)
    return garbage(Garbage::NoStation);
  Parsed parsed;
  if (const std::optional<Garbage> why = parsePayload(kind->kind, message.payload, parsed))
    return garbage(*why);
  if (found == m_stations.end()) {
    if (int(m_stations.size()) >= m_maxStations) {
      if (m_beyond.size() < countedNamesCap)
        m_beyond.insert(qHash(name));
      return garbage(Garbage::TooMany);
    }
    found = m_stations.emplace(name, Station{}).first;
    found->second.name = name;
  }
  return store(found->second, *kind, parsed, message);
}

qint64 StationModel::staleAfterMs(const Station &station) {
  return station.periodMs > 0 ? qint64(std::ceil(stalePeriods * station.periodMs))
                              : unknownPeriodStaleMs;
}

ReadingState StationModel::readingState(const Station &station, Shown shown, qint64 nowMs) {
  if (station.switches[info(shown).channel] == false)
    return ReadingState::SwitchedOff;
  const Value &value = station.shownValue(shown);
  if (value.at < 0)
    return ReadingState::None;
  return nowMs - value.at > staleAfterMs(station) ? ReadingState::Stale : ReadingState::Current;
}

StationState StationModel::stationState(const Station &station, qint64 nowMs) {
  if (station.online == false)
    return StationState::Offline;
  const bool anyChannelOn = std::any_of(station.switches.begin(), station.switches.end(),
                                        [](const std::optional<bool> &on) { return on != false; });
  if (station.newestReadingMs >= 0 && anyChannelOn &&
      nowMs - station.newestReadingMs > staleAfterMs(station))
    return StationState::Stale;
  return station.online ? StationState::Online : StationState::Unknown;
}

qint64 StationModel::nextStaleMs(const Station &station, qint64 nowMs) {
  qint64 next = std::numeric_limits<qint64>::max();
  const qint64 staleAfter = staleAfterMs(station);
  const auto consider = [&](qint64 at) {
    if (at >= 0 && at + staleAfter + 1 > nowMs)
      next = std::min(next, at + staleAfter + 1);
  };
  consider(station.newestReadingMs);
  for (int k = 0; k < shownCount; ++k)
    consider(station.shownValue(Shown(k)).at);
  return next;
}

qint64 StationModel::nextChangeMs(const Station &station, qint64 nowMs) {
  if (station.online == false)
    return std::numeric_limits<qint64>::max(); // it says when it was last seen: that stays
  qint64 next = nextStaleMs(station, nowMs);
  if (station.newestReadingMs >= 0) {
    const qint64 age = std::max<qint64>(0, nowMs - station.newestReadingMs);
    next = std::min(next, station.newestReadingMs + (age / 1000 + 1) * 1000);
  }
  return next;
}

bool canAcknowledge(const Station &station) {
  if (!station.takesCommands)
    return false;
  for (const AlarmSeen &alarm : station.alarms)
    if (alarm.state == alarms::AlarmState::ActiveUnacknowledged ||
        alarm.state == alarms::AlarmState::ReturnedUnacknowledged)
      return true;
  return false;
}

} // namespace stations
