// Bad input on the line, through dgh-sim on a pseudo-terminal and the real serial line, with every
// channel on. Each row starts a simulator with one kind of bad reply, brings the real main window
// up on it and runs read ticks; the program must stay up, give the outcome the channel readers
// promise, and hold no number that is not finite.

#include "tests/e2e/dgh_sim_process.h"
#include "tests/faults/live_window.h"

#include <QSet>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString flowMsg = QStringLiteral("NO VALID RETURN FROM FLOW MODULE");
const QString phMsg = QStringLiteral("NO VALID RETURN FROM pH MODULE");
QString thermMsg(int k) { return QStringLiteral("No valid return from thermistor %1").arg(k); }

QStringList allAddresses(const QString &option, const QString &value = QString()) {
  QStringList args;
  for (const char *address : {"1", "2", "3", "5", "6", "7"})
    args << option
         << (value.isEmpty() ? QString::fromLatin1(address)
                             : QString::fromLatin1(address) + '=' + value);
  return args;
}

// A second frame sent behind the module's own: being the last one, it is the reply.
QStringList frameAfter(const char *address, const char *frame) {
  return {QStringLiteral("--garbage-after"),
          QString::fromLatin1(address) + '=' + QString::fromLatin1(frame) + '\r'};
}

bool near(double value, double centre, double halfWidth) {
  return value > centre - halfWidth && value < centre + halfWidth;
}

struct Row {
  const char *name;
  QStringList simArguments;
  int ticks;
  // Exactly these messages, in order; or, when `exact` is false, at least `required` and nothing
  // outside `allowed` (for rows whose timing on the machine decides how often a box comes).
  bool exact;
  QStringList required;
  QSet<QString> allowed;
  // Which switches are on after the ticks: flow, pH, thermistors.
  bool flowOn, phOn, thermOn;
  std::function<void(const AcquisitionState &)> checkValues;
};

} // namespace

TEST(BadInputOnTheLine, EveryRowLeavesTheProgramUpWithTheReadersOutcomeAndFiniteValues) {
  const auto sound = [](const AcquisitionState &s) {
    EXPECT_TRUE(near(s.flowHz, 115, 5)) << s.flowHz;
    EXPECT_TRUE(near(s.ph1mV, 2577.7, 3)) << s.ph1mV;
    EXPECT_TRUE(near(s.ph2mV, 2581.3, 3)) << s.ph2mV;
    EXPECT_TRUE(near(s.therm1Temp, 21.46, 1)) << s.therm1Temp;
    EXPECT_TRUE(near(s.therm2Temp, 21.1, 1)) << s.therm2Temp;
    EXPECT_TRUE(near(s.therm3Temp, 22.3, 1)) << s.therm3Temp;
  };
  const QSet<QString> anyChannel = {flowMsg, phMsg, thermMsg(1), thermMsg(2), thermMsg(3)};
  const Row rows[] = {
      {"sound modules, the command echoed", {}, 2, true, {}, {}, true, true, true, sound},
      {"sound modules without echo", {"--no-echo"}, 2, true, {}, {}, true, true, true, sound},
      {"garbage before every frame",
       allAddresses("--garbage-before", "xx#!$1RD"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       sound},
      {"bit 7 set on every byte of every reply",
       allAddresses("--high-bit"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       sound},
      {"garbage after the flow frame",
       {"--garbage-after", "5=zz"},
       2,
       true,
       {flowMsg},
       {},
       false,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.flowHz, 0);
         EXPECT_TRUE(near(s.ph1mV, 2577.7, 3));
       }},
      {"a line feed behind probe 2's frame",
       {"--line-feed", "7"},
       2,
       true,
       {phMsg},
       {},
       true,
       false,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph2mV, 0);
         EXPECT_TRUE(near(s.ph1mV, 2577.7, 3)); // "6" was read before "7" failed
       }},
      {"\"?\" from probe 1",
       {"--error-reply", "6"},
       2,
       true,
       {phMsg},
       {},
       true,
       false,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph1mV, 0);
         EXPECT_TRUE(near(s.ph2mV, 2581.3, 3)); // "7" is still read in the failing tick
       }},
      {"\"?\" from thermistor 1 warns every tick and keeps the channel on",
       {"--error-reply", "1"},
       2,
       true,
       {thermMsg(1), thermMsg(1)},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.therm1Temp, 0);
         EXPECT_TRUE(near(s.therm3Temp, 22.3, 1));
       }},
      {"the echo alone: the flow module is silent",
       {"--silent", "5"},
       2,
       true,
       {flowMsg},
       {},
       false,
       true,
       true,
       [](const AcquisitionState &s) { EXPECT_EQ(s.flowHz, 0); }},
      {"a value that is not a number from thermistor 2",
       frameAfter("2", "*+12x4.500"),
       2,
       true,
       {thermMsg(2), thermMsg(2)},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.therm2Temp, 0);
         EXPECT_TRUE(near(s.therm3Temp, 22.3, 1));
       }},
      {"a value that is not a number from thermistor 3 stops the channel",
       frameAfter("3", "*+abcdefgh"),
       2,
       true,
       {thermMsg(3)},
       {},
       true,
       true,
       false,
       [](const AcquisitionState &s) { EXPECT_EQ(s.therm3Temp, 0); }},
      {"99999999 Hz is a spike, taken as 0",
       frameAfter("5", "*+99999999"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.flowHz, 0);
         EXPECT_EQ(s.flowHzSum, 0);
       }},
      {"99999999 mV from probe 2 is stored as read",
       frameAfter("7", "*+99999999"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph2mV, 99999999);
         EXPECT_GT(s.ph2Value, 1000);
       }},
      {"1e308 mV from probe 1 gives no pH: refused",
       frameAfter("6", "*+1e308"),
       2,
       true,
       {phMsg},
       {},
       true,
       false,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph1mV, 0);
         EXPECT_EQ(s.ph1Value, 0);
       }},
      {"1e308 Hz is a spike",
       frameAfter("5", "*+1e308"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) { EXPECT_EQ(s.flowHz, 0); }},
      {"-1e308 Hz gives no rate: refused",
       frameAfter("5", "*+-1e308"),
       2,
       true,
       {flowMsg},
       {},
       false,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.litersPerMin, 0);
         EXPECT_EQ(s.flowHzSum, 0);
       }},
      {"1e308 degrees from thermistor 3 is stored and still compensates",
       frameAfter("3", "*+1e308"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) { EXPECT_EQ(s.therm3Temp, 1e308); }},
      {"an empty frame from probe 1 is ignored",
       frameAfter("6", "*"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph1mV, 0);
         EXPECT_TRUE(near(s.ph2mV, 2581.3, 3));
       }},
      {"an empty frame from thermistor 1 ends the thermistors' turn",
       frameAfter("1", "*+"),
       2,
       true,
       {},
       {},
       true,
       true,
       true,
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.therm1Temp, 0);
         EXPECT_EQ(s.therm2Temp, 0);
         EXPECT_EQ(s.therm3Temp, 0);
       }},
      // The reply starts inside the wait and ends after it; the rest is drained and dropped by
      // probe 2's exchange. A machine that wakes very late may see it whole, so several ticks run.
      {"probe 1's reply split across the wait",
       {"--late", "6=28"},
       4,
       false,
       {phMsg},
       {phMsg},
       true,
       false,
       true,
       [](const AcquisitionState &s) { EXPECT_TRUE(near(s.ph2mV, 2581.3, 3)); }},
      // A kilobyte without a carriage return behind thermistor 3's frame takes half a second on
      // the line; it ends thermistor 3's exchange and spoils whatever the next tick asks.
      {"a kilobyte without a carriage return",
       {"--garbage-after", "3=" + QString(1024, QLatin1Char('A'))},
       2,
       false,
       {thermMsg(3)},
       anyChannel,
       false,
       false,
       false,
       nullptr},
  };

  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    e2e::DghSimProcess sim(row.simArguments);
    ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
    faults::LiveWindow live(sim.devicePath());
    ASSERT_TRUE(live.load());
    ASSERT_TRUE(live.takeMessages().isEmpty());
    live.switchAllOn();
    for (int i = 0; i < row.ticks; ++i)
      live.window->readTick();

    const QStringList shown = live.takeMessages();
    if (row.exact) {
      EXPECT_EQ(shown, row.required);
    } else {
      for (const QString &text : row.required)
        EXPECT_TRUE(shown.contains(text)) << text.toStdString();
      for (const QString &text : shown)
        EXPECT_TRUE(row.allowed.contains(text)) << text.toStdString();
    }
    // The "a kilobyte" row leaves each switch as its timing decided; the others are exact.
    if (row.exact || row.checkValues) {
      EXPECT_EQ(live.isOn("cwbFlow"), row.flowOn);
      EXPECT_EQ(live.isOn("cwbPh"), row.phOn);
      EXPECT_EQ(live.isOn("cwbTherm"), row.thermOn);
    }
    EXPECT_TRUE(faults::allFinite(live.window->state()));
    EXPECT_EQ(faults::nonNumbersShown(*live.window), QStringList());
    if (row.checkValues)
      row.checkValues(live.window->state());

    // Still up: the port is open and a sound tick after the fault goes through.
    EXPECT_TRUE(live.line.portOpen());
    ASSERT_EQ(sim.control(QStringLiteral("clear")), QStringLiteral("ok"));
    live.window->readTick();
    EXPECT_TRUE(faults::allFinite(live.window->state()));
  }
}
