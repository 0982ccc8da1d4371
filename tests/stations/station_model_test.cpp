#include "stations/station_model.h"

#include <QStringList>

#include <limits>

#include <gtest/gtest.h>

namespace {

using stations::Garbage;
using stations::ReadingState;
using stations::Shown;
using stations::StationModel;
using stations::StationState;

stations::Incoming message(const QByteArray &topic, const QByteArray &payload, qint64 at = 0,
                           bool retained = false) {
  return {topic, payload, at, retained};
}

const QByteArray reading = R"({"value":7.1,"unit":"pH","time":"2026-12-09T03:00:00.000Z"})";

TEST(StationModel, GarbageIsCountedByKindAndChangesNothing) {
  const struct {
    QByteArray topic;
    QByteArray payload;
    Garbage kind;
  } cases[] = {
      {"lab", reading, Garbage::BadTopic},
      {"lab/", reading, Garbage::BadTopic},
      {"lab//ph1/value", reading, Garbage::BadTopic},
      {"lab/a", reading, Garbage::BadTopic},
      {"lab/a/ph1", reading, Garbage::BadTopic},
      {"lab/a/ph1/value/more", reading, Garbage::BadTopic},
      {"lab/a/ph9/value", reading, Garbage::BadTopic},
      {"labx/a/ph1/value", reading, Garbage::BadTopic},
      {"lab/\x8f/ph1/value", reading, Garbage::BadTopic},
      {"other/a/ph1/value", reading, Garbage::BadTopic},
      {"lab/a/ph1/value", "7.1", Garbage::NotJson},
      {"lab/a/ph1/value", "{\"value\":NaN}", Garbage::NotJson},
      {"lab/a/ph1/value", "{\"value\":7.1", Garbage::NotJson},
      {"lab/a/ph1/value", "", Garbage::NotJson},
      {"lab/a/ph1/value", "[7.1]", Garbage::NotJson},
      {"lab/a/ph1/value", "{\"value\":null}", Garbage::NoNumber},
      {"lab/a/ph1/value", "{\"value\":\"7.1\"}", Garbage::NoNumber},
      {"lab/a/ph1/value", "{\"unit\":\"pH\"}", Garbage::NoNumber},
      {"lab/a/therm1/celsius", "{\"value\":1e999}", Garbage::NotJson},
      {"lab/a/ph1/value", "{\"value\":1,\"pad\":\"" + QByteArray(70000, 'x') + "\"}",
       Garbage::TooLarge},
      {"lab/a/status", "Online", Garbage::BadWord},
      {"lab/a/status", "online\n", Garbage::BadWord},
      {"lab/a/switch/ph", "1", Garbage::BadWord},
      {"lab/a/simulated", "True", Garbage::BadWord},
      {"lab/a/alarm/ph1", "normal", Garbage::NotJson},
      {"lab/a/alarm/ph1", "{\"state\":\"Active\"}", Garbage::BadWord},
      {"lab/" + QByteArray(247, 'a') + "/status", "online", Garbage::TooLong}, // 257 bytes
      {"lab/" + QByteArray(65, 'a') + "/status", "online", Garbage::TooLong},
      {"lab/a/ph1/calibration", "8 bytes!", Garbage::NoStation},
  };
  StationModel model("lab");
  qint64 counted = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.topic.left(60).toStdString() + " " + c.payload.left(40).toStdString());
    const qint64 before = model.garbageCount(c.kind);
    EXPECT_EQ(model.apply(message(c.topic, c.payload)).station, nullptr);
    EXPECT_EQ(model.garbageCount(c.kind), before + 1);
    EXPECT_EQ(model.garbageCount(), ++counted);
  }
  EXPECT_TRUE(model.stations().empty());
}

TEST(StationModel, ReadingsStatusAndSwitchesMakeTheTilesState) {
  StationModel model("lab/rigs");
  // Odd names are names: kept as they came, sorted case-insensitively.
  for (const QByteArray name : {"beta", "<b>Alpha &amp;", "gamma \"3\"", "Beta"})
    model.apply(message("lab/rigs/" + name + "/status", "online", 0, true));
  QStringList names;
  for (const auto &[name, station] : model.stations())
    names << name;
  EXPECT_EQ(names, QStringList({"<b>Alpha &amp;", "Beta", "beta", "gamma \"3\""}));

  // A reading every 250 ms: the period is learned, stale after three of them.
  for (int k = 0; k < 4; ++k)
    model.apply(message("lab/rigs/beta/ph1/value", reading, 1000 + 250 * k));
  model.apply(message("lab/rigs/beta/ph1/corrected", R"({"value":7.2})", 1750));
  const stations::Station &beta = model.stations().at("beta");
  EXPECT_EQ(beta.periodMs, 250);
  EXPECT_EQ(beta.shownValue(Shown::Ph1).value, 7.2); // the corrected one, as the window shows
  EXPECT_EQ(beta.readings[int(Shown::Ph1)].value, 7.1);
  const struct {
    qint64 now;
    ReadingState ph1;
    ReadingState ph2;
    StationState station;
  } times[] = {
      {1750, ReadingState::Current, ReadingState::None, StationState::Online},
      {2500, ReadingState::Current, ReadingState::None, StationState::Online},
      {2501, ReadingState::Stale, ReadingState::None, StationState::Stale},
  };
  for (const auto &t : times) {
    SCOPED_TRACE(t.now);
    EXPECT_EQ(StationModel::readingState(beta, Shown::Ph1, t.now), t.ph1);
    EXPECT_EQ(StationModel::readingState(beta, Shown::Ph2, t.now), t.ph2);
    EXPECT_EQ(StationModel::stationState(beta, t.now), t.station);
  }
  // A channel switched off is off, not stale; with every channel off the station is not stale.
  for (const char *channel : {"ph", "flow", "therm"})
    model.apply(message(QByteArray("lab/rigs/beta/switch/") + channel, "off", 1800));
  EXPECT_EQ(StationModel::readingState(beta, Shown::Ph1, 9000), ReadingState::SwitchedOff);
  EXPECT_EQ(StationModel::stationState(beta, 9000), StationState::Online);

  // The last will: offline, last seen at the newest message of its own, not the will's arrival.
  model.apply(message("lab/rigs/beta/status", "offline", 5000));
  EXPECT_EQ(StationModel::stationState(beta, 5000), StationState::Offline);
  EXPECT_EQ(beta.lastSeenMs, 1800);
  // A station without a known period is stale after 10 s.
  model.apply(message("lab/rigs/Beta/flow/total_liters", R"({"value":12.5})", 100));
  const stations::Station &other = model.stations().at("Beta");
  EXPECT_EQ(StationModel::readingState(other, Shown::FlowTotal, 10100), ReadingState::Current);
  EXPECT_EQ(StationModel::readingState(other, Shown::FlowTotal, 10101), ReadingState::Stale);

  model.remove("beta");
  EXPECT_FALSE(model.stations().count("beta"));
  EXPECT_EQ(model.garbageCount(), 0);
}

TEST(StationModel, TheRetainedSimulatedTopicSaysWhetherTheStationsModulesAreSimulated) {
  StationModel model("lab");
  EXPECT_EQ(model.apply(message("lab/a/status", "online", 0, true)).station->simulated,
            std::nullopt);
  EXPECT_EQ(model.apply(message("lab/a/simulated", "true", 0, true)).station->simulated, true);
  EXPECT_EQ(model.apply(message("lab/b/simulated", "false", 0, true)).station->simulated, false);
  EXPECT_EQ(model.apply(message("lab/b/simulated", "maybe", 0, true)).station, nullptr);
  EXPECT_EQ(model.stations().at("b").simulated, false);
}

TEST(StationModel, AlarmsInAlarmAreTheActiveOnesWithTheirCondition) {
  const auto alarm = [](const char *state, const char *condition) {
    return QByteArray(R"({"state":")") + state + R"(","condition":)" + condition +
           R"(,"value":8.31,"limit":8.2,"since":null})";
  };
  const struct {
    QByteArray topic;
    QByteArray payload;
    QStringList inAlarm; // after the message
  } steps[] = {
      {"ph1", alarm("active_unacknowledged", R"("high")"), {"pH 1 high"}},
      {"flow_L_per_min", alarm("active_acknowledged", R"("low")"), {"pH 1 high", "Flow low"}},
      {"therm", alarm("active_unacknowledged", R"("no_reading")"),
       {"pH 1 high", "Flow low", "Thermistor modules (no reading)"}},
      {"ph2", alarm("returned_unacknowledged", R"("high")"),
       {"pH 1 high", "Flow low", "Thermistor modules (no reading)"}},
      {"therm1", alarm("shelved", R"("high")"),
       {"pH 1 high", "Flow low", "Thermistor modules (no reading)"}},
      {"ph1", alarm("normal", "null"), {"Flow low", "Thermistor modules (no reading)"}},
      {"therm2", alarm("active_unacknowledged", "null"),
       {"Thermistor 2", "Flow low", "Thermistor modules (no reading)"}},
  };
  StationModel model("lab");
  for (const auto &step : steps) {
    SCOPED_TRACE(step.topic.toStdString() + " " + step.payload.toStdString());
    EXPECT_TRUE(model.apply(message("lab/a/alarm/" + step.topic, step.payload, 0, true)).station);
    EXPECT_EQ(stations::alarmTexts(model.stations().at("a")), step.inAlarm);
  }
  EXPECT_EQ(stations::shownOf(alarms::Alarm::Flow), Shown::FlowRate);
  EXPECT_EQ(stations::shownOf(alarms::Alarm::Therm2), Shown::Therm2);
  EXPECT_EQ(stations::shownOf(alarms::Alarm::FlowSilent), std::nullopt);
  EXPECT_EQ(model.garbageCount(), 0);
}

TEST(StationModel, AtMostTheStationsItShowsAndTheNamesBeyondCountedOnce) {
  StationModel model("lab", 2);
  const QByteArray longest = QByteArray(64, 'a'); // 64 characters: a name, just
  for (const QByteArray &name : {QByteArray("one"), longest, QByteArray("three"), QByteArray("three"),
                                QByteArray("four")})
    model.apply(message("lab/" + name + "/status", "online"));
  EXPECT_EQ(model.stations().size(), 2u);
  EXPECT_TRUE(model.stations().count(QString::fromLatin1(longest)));
  EXPECT_EQ(model.stationsBeyondMax(), 2);
  EXPECT_EQ(model.garbageCount(Garbage::TooMany), 3);
  // A station it knows takes what no tile shows without a word.
  EXPECT_TRUE(model.apply(message("lab/one/ph1/calibration", "{}")).station);
}

TEST(StationModel, TheClockChangesATileAtItsAgesNextSecondAndWhereAReadingTurnsStale) {
  StationModel model("lab");
  model.apply(message("lab/a/ph1/value", reading, 1000));
  const stations::Station &a = model.stations().at("a");
  const struct {
    qint64 now;
    qint64 next;
  } times[] = {{1000, 2000}, {1500, 2000}, {10999, 11000}, {11000, 11001}, {11001, 12000}};
  for (const auto &t : times)
    EXPECT_EQ(StationModel::nextChangeMs(a, t.now), t.next) << t.now;
  model.apply(message("lab/a/status", "offline", 20000));
  EXPECT_EQ(StationModel::nextChangeMs(a, 20000), std::numeric_limits<qint64>::max());
}

} // namespace
