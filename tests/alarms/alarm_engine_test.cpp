#include "alarms/alarm_engine.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cmath>
#include <string>
#include <vector>

using namespace alarms;
using state::Channel;
using state::Quantity;

namespace {

// A script of steps "<seconds> <verb> [argument]" separated by ";", run against pH 1's limit
// alarm and the pH channel's no-reading alarm. Verbs: r (pH 1 reading), ack, ackall, shelve
// (until second), unshelve, tick, on, off, fail (the pH channel), high (set pH 1's high limit;
// "-" turns it off).
struct Case {
  const char *name;
  Limits limits;
  double noReadingSeconds;
  const char *script;
  std::vector<std::string> events; // "<seconds> <alarm key> <event> <state after>"
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

Limits limits(std::optional<double> low, std::optional<double> high, double deadband = 0,
              double delay = 0) {
  return Limits{low, high, deadband, delay};
}

std::vector<std::string> run(const Case &c, AlarmEngine &engine) {
  std::vector<std::string> seen;
  engine.setListener([&](const AlarmEvent &event) {
    seen.push_back(QStringLiteral("%1 %2 %3 %4")
                       .arg(event.timeMs / 1000)
                       .arg(key(event.alarm), eventKey(event.kind), stateKey(event.status.state))
                       .toStdString());
  });
  AlarmSettings settings;
  settings.limits[index(Alarm::Ph1)] = c.limits;
  settings.noReadingSeconds[static_cast<int>(Channel::Ph)] = c.noReadingSeconds;
  engine.setSettings(settings, 0);
  for (const QString &step : QString::fromUtf8(c.script).split(';', Qt::SkipEmptyParts)) {
    const QStringList word = step.simplified().split(' ');
    const qint64 ms = qint64(word[0].toDouble() * 1000);
    const QString verb = word[1];
    const QString argument = word.value(2);
    if (verb == "r")
      engine.reading(Quantity::Ph1, argument == "nan" ? NAN : argument.toDouble(), ms);
    else if (verb == "ack")
      engine.acknowledge(Alarm::Ph1, ms);
    else if (verb == "ackall")
      engine.acknowledgeAll(ms);
    else if (verb == "shelve")
      engine.shelve(Alarm::Ph1, qint64(argument.toDouble() * 1000), ms);
    else if (verb == "unshelve")
      engine.unshelve(Alarm::Ph1, ms);
    else if (verb == "tick")
      engine.tick(ms);
    else if (verb == "on" || verb == "off")
      engine.channelSwitched(Channel::Ph, verb == "on", ms);
    else if (verb == "fail")
      engine.channelFailed(Channel::Ph, ms);
    else if (verb == "high") {
      settings.limits[index(Alarm::Ph1)].high =
          argument == "-" ? std::nullopt : std::optional<double>(argument.toDouble());
      engine.setSettings(settings, ms);
    } else
      ADD_FAILURE() << "unknown step " << step.toStdString();
  }
  return seen;
}

std::vector<std::string> run(const Case &c) {
  AlarmEngine engine;
  return run(c, engine);
}

const Case cases[] = {
    {"OneRaiseAndOneReturnHoweverTheValueWobblesInsideTheDeadband", limits({}, 8.0, 0.5), 0,
     "0 r 7.9; 1 r 8.1; 2 r 7.6; 3 r 8.3; 4 r 7.7; 5 r 7.5; 6 r 7.6",
     {"1 ph1 raised active_unacknowledged", "5 ph1 returned returned_unacknowledged"}},
    {"ReturnLatchesUntilAcknowledged", limits({}, 8.0), 0, "0 r 8.5; 1 r 7; 2 tick; 3 ack; 4 ack",
     {"0 ph1 raised active_unacknowledged", "1 ph1 returned returned_unacknowledged",
      "3 ph1 acknowledged normal"}},
    {"AcknowledgedAlarmReturnsStraightToNormal", limits({}, 8.0), 0, "0 r 8.5; 1 ackall; 2 r 7",
     {"0 ph1 raised active_unacknowledged", "1 ph1 acknowledged active_acknowledged",
      "2 ph1 returned normal"}},
    {"ExcursionShorterThanTheOnDelayRaisesNothing", limits({}, 8.0, 0, 10), 0,
     "0 r 8.5; 3 r 8.6; 5 r 7.9; 6 r 8.5; 15 r 8.5; 16 r 8.5",
     {"16 ph1 raised active_unacknowledged"}},
    {"LowLimitWithDeadband", limits(6.0, {}, 0.2), 0, "0 r 6.1; 1 r 5.9; 2 r 6.1; 3 r 6.2",
     {"1 ph1 raised active_unacknowledged", "3 ph1 returned returned_unacknowledged"}},
    {"JumpFromAboveTheHighToBelowTheLowIsAReturnAndANewRaise", limits(6.0, 8.0), 0,
     "0 r 9; 1 ack; 2 r 5",
     {"0 ph1 raised active_unacknowledged", "1 ph1 acknowledged active_acknowledged",
      "2 ph1 returned normal", "2 ph1 raised active_unacknowledged"}},
    {"ValueThatIsNotFiniteNeitherRaisesNorClearsNorRestartsTheDelay", limits({}, 8.0, 0, 10), 0,
     "0 r 9; 5 r nan; 10 r 9; 11 r nan; 12 r inf",
     {"10 ph1 raised active_unacknowledged"}},
    {"ShelfHidesAReturnAndTellsItAtExpiry", limits({}, 8.0), 0,
     "0 r 9; 1 shelve 60; 2 r 7; 30 tick; 60 tick; 61 tick",
     {"0 ph1 raised active_unacknowledged", "1 ph1 shelved shelved", "60 ph1 unshelved normal",
      "60 ph1 returned normal"}},
    {"ExcursionDuringTheShelfIsRaisedAtExpiry", limits({}, 8.0), 0,
     "0 r 7; 1 shelve 60; 2 r 9; 3 ack; 60 tick",
     {"1 ph1 shelved shelved", "60 ph1 unshelved active_unacknowledged",
      "60 ph1 raised active_unacknowledged"}},
    {"AlarmStillPresentAfterTheShelfIsShownAgainUnacknowledged", limits({}, 8.0), 0,
     "0 r 9; 1 ack; 2 shelve 60; 10 unshelve; 60 tick",
     {"0 ph1 raised active_unacknowledged", "1 ph1 acknowledged active_acknowledged",
      "2 ph1 shelved shelved", "10 ph1 unshelved active_unacknowledged"}},
    {"TurningTheCrossedLimitOffReturnsTheAlarm", limits({}, 8.0), 0, "0 r 9; 5 high -; 6 r 9",
     {"0 ph1 raised active_unacknowledged", "5 ph1 returned returned_unacknowledged"}},
    {"SilentChannelRaisesOnceItsTimeIsUpAndReturnsWithTheNextReading", {}, 5,
     "0 on; 4.9 tick; 5 tick; 6 tick; 7 r 7; 7.5 tick",
     {"5 ph raised active_unacknowledged", "7 ph returned returned_unacknowledged"}},
    {"ChannelTheOperatorSwitchedOffRaisesNothing", {}, 5, "0 on; 1 r 7; 2 off; 10 tick; 60 tick",
     {}},
    {"ChannelAFailureSwitchedOffGoesOnCountingFromItsLastReading", {}, 5,
     "0 on; 1 r 7; 2 fail; 2 off; 5.9 tick; 6 tick; 7 on; 8 tick; 9 r 7",
     {"6 ph raised active_unacknowledged", "9 ph returned returned_unacknowledged"}},
    {"OperatorSwitchingASilentChannelOffReturnsItsAlarm", {}, 5, "0 on; 5 tick; 6 ackall; 7 off",
     {"5 ph raised active_unacknowledged", "6 ph acknowledged active_acknowledged",
      "7 ph returned normal"}},
};

class AlarmEngineScript : public testing::TestWithParam<Case> {};

TEST_P(AlarmEngineScript, GivesTheseEvents) { EXPECT_EQ(run(GetParam()), GetParam().events); }

INSTANTIATE_TEST_SUITE_P(Cases, AlarmEngineScript, testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.name); });

// What pH 1's alarm keeps of its excursion after each script, in seconds: when its state was
// entered, when the excursion was raised, and the operator's last acknowledge or shelve.
TEST(AlarmEngine, TheExcursionsRaiseOutlivesItsAcknowledgeAndShelf) {
  const struct {
    const char *script;
    qint64 since, raised, handled;
  } cases[] = {
      {"0 r 7", 0, 0, 0},
      {"13 r 9; 53 ack", 53, 13, 53},
      {"13 r 9; 20 shelve 60; 30 unshelve", 30, 13, 20},
      {"13 r 9; 20 r 7; 53 ack", 53, 13, 53},
      {"13 r 9; 20 ack; 30 r 7; 40 r 9", 40, 40, 0},     // a new excursion starts afresh
      {"0 r 7; 10 shelve 90; 13 r 9; 60 tick", 10, 13, 10}, // raised under the shelf
      {"0 r 7; 10 shelve 30; 13 r 9; 30 tick", 30, 13, 10}, // announced when it ends
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    AlarmEngine engine;
    run({"", limits({}, 8.0), 0, c.script, {}}, engine);
    const AlarmStatus &status = engine.status(Alarm::Ph1);
    EXPECT_EQ(status.sinceMs, c.since * 1000);
    EXPECT_EQ(status.raisedMs, c.raised * 1000);
    EXPECT_EQ(status.handledMs, c.handled * 1000);
  }
}

TEST(AlarmEngine, EventsCarryTheValueAndTheLimitCrossedAndCountsFollowTheStates) {
  AlarmEngine engine;
  std::vector<AlarmEvent> events;
  engine.setListener([&](const AlarmEvent &event) { events.push_back(event); });
  AlarmSettings settings;
  settings.limits[index(Alarm::Therm2)] = limits(5.0, 25.0);
  settings.limits[index(Alarm::Flow)] = limits(0.5, {});
  engine.setSettings(settings, 0);
  engine.reading(Quantity::Therm2, 26.25, 1000);
  engine.reading(Quantity::LitersPerMin, 0.25, 1000);
  engine.reading(Quantity::Therm1, 99, 1000); // no limits: nothing
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].alarm, Alarm::Therm2);
  EXPECT_EQ(events[0].value, 26.25);
  EXPECT_EQ(events[0].limit, 25.0);
  EXPECT_EQ(events[0].status.condition, Condition::High);
  EXPECT_EQ(events[1].limit, 0.5);
  EXPECT_EQ(events[1].status.condition, Condition::Low);
  engine.acknowledge(Alarm::Flow, 2000);
  EXPECT_EQ(engine.activeCount(), 2);
  EXPECT_EQ(engine.unacknowledgedCount(), 1);
  engine.reading(Quantity::Therm2, 20, 3000);
  EXPECT_EQ(engine.activeCount(), 1);
  EXPECT_EQ(engine.unacknowledgedCount(), 1); // the return is latched
}

} // namespace
