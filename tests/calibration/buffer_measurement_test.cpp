#include "calibration/buffer_measurement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using calibration::BufferMeasurement;
using calibration::BufferSample;
using Step = BufferMeasurement::Step;

constexpr qint64 settleMs = 10000;

TEST(BufferMeasurement, ASteadyProbeSettlesOnTheThermistorsMeanAndKeepsItsRowWhenFinished) {
  BufferMeasurement measurement(1, 1.0);
  measurement.start(1, settleMs, 99.0, 3, QStringLiteral("thermistor T-3"));
  Step step = Step::Going;
  qint64 ms = 0;
  for (; step == Step::Going && ms <= 3 * settleMs; ms += 200)
    step =
        measurement.sample(ms, {true, 171.5, true, {10.0, 20.0, 24.0 + (ms % 400 ? 0.5 : 0)}}).step;
  ASSERT_EQ(step, Step::Stable);
  EXPECT_GE(ms, settleMs); // never before a whole settling time
  EXPECT_DOUBLE_EQ(measurement.row(1).millivolts, 171.5);
  EXPECT_NEAR(measurement.row(1).celsius, 24.25, 0.02); // T-3's, not the fixed 99 °C
  measurement.finish(true, 7.01);
  EXPECT_EQ(measurement.measuring(), -1);
  EXPECT_TRUE(measurement.row(1).measured && measurement.row(1).stable);
  EXPECT_EQ(measurement.row(1).source, QStringLiteral("thermistor T-3"));
  EXPECT_FALSE(measurement.row(0).measured);
}

TEST(BufferMeasurement, ALostChannelOrAReadingThatIsNoNumberStopsAndTakesNothing) {
  struct Case {
    const char *name;
    int thermistor;
    BufferSample sample;
    const char *said;
  };
  const Case cases[] = {
      {"pH channel off", 0, {false, 100, true, {}}, "The pH channel was switched off"},
      {"millivolts not a number", 0, {true, NAN, true, {}}, "not a number"},
      {"thermistor channel off", 2, {true, 100, false, {}}, "The thermistor channel is off"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BufferMeasurement measurement(2, 0.98);
    measurement.start(0, settleMs, 25.0, c.thermistor, QStringLiteral("typed here"));
    ASSERT_EQ(measurement.sample(0, {true, 100, true, {25, 25, 25}}).step, Step::Going);
    const BufferMeasurement::StepResult result = measurement.sample(200, c.sample);
    EXPECT_EQ(result.step, Step::Stopped);
    EXPECT_TRUE(result.why.contains(QLatin1String(c.said))) << result.why.toStdString();
    EXPECT_TRUE(result.why.contains(QLatin1String("buffer 1"))) << result.why.toStdString();
    EXPECT_EQ(measurement.measuring(), -1);
    EXPECT_FALSE(measurement.row(0).measured);
    EXPECT_DOUBLE_EQ(measurement.row(0).millivolts, 0); // the row cleared
  }
}

} // namespace
