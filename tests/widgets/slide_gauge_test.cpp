#include "widgets/slide_gauge.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using widgets::SlideGauge;

struct Tracking {
  const char *name;
  std::vector<double> values;
  double min;
  double max;
};

class SlideGaugeTracking : public ::testing::TestWithParam<Tracking> {};

TEST_P(SlideGaugeTracking, MarkersHoldTheLowestAndHighestValueSet) {
  SlideGauge gauge(Qt::Horizontal);
  gauge.setAxisRange(5, 25);
  for (double v : GetParam().values)
    gauge.setGaugeValue(v);
  ASSERT_TRUE(gauge.hasMinMax());
  EXPECT_DOUBLE_EQ(gauge.minMarker(), GetParam().min);
  EXPECT_DOUBLE_EQ(gauge.maxMarker(), GetParam().max);
  EXPECT_DOUBLE_EQ(gauge.gaugeValue(), GetParam().values.back());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SlideGaugeTracking,
    ::testing::Values(Tracking{"OneValue", {21.46}, 21.46, 21.46},
                      Tracking{"RiseAndFall", {21.46, 19.0, 23.5, 22.0}, 19.0, 23.5},
                      // Values beyond the axis are remembered as they are, not as the pointer's
                      // stop.
                      Tracking{"BeyondTheAxis", {20.0, 40.0, -3.25, 10.0}, -3.25, 40.0},
                      // Zero, as the switch-off handling writes, counts like any value.
                      Tracking{"ZeroCounts", {21.0, 0.0, 22.0}, 0.0, 22.0},
                      Tracking{"Negative", {-1.5, -7.25, -2.0}, -7.25, -1.5}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SlideGauge, ResetStartsTheMarkersAgainFromTheNextValue) {
  SlideGauge gauge(Qt::Horizontal);
  EXPECT_FALSE(gauge.hasMinMax());
  gauge.setGaugeValue(10.0);
  gauge.setGaugeValue(30.0);
  gauge.setGaugeValue(18.5);

  gauge.resetMinMax();
  EXPECT_FALSE(gauge.hasMinMax());
  EXPECT_DOUBLE_EQ(gauge.gaugeValue(), 18.5); // the value itself stays
  EXPECT_DOUBLE_EQ(gauge.minMarker(), 0.0);
  EXPECT_DOUBLE_EQ(gauge.maxMarker(), 0.0);

  gauge.setGaugeValue(20.25);
  ASSERT_TRUE(gauge.hasMinMax());
  EXPECT_DOUBLE_EQ(gauge.minMarker(), 20.25);
  EXPECT_DOUBLE_EQ(gauge.maxMarker(), 20.25);
  gauge.setGaugeValue(19.75);
  EXPECT_DOUBLE_EQ(gauge.minMarker(), 19.75);
  EXPECT_DOUBLE_EQ(gauge.maxMarker(), 20.25);
}

struct AxisStep {
  enum Kind { Minimum, Maximum, Range } kind;
  double a;
  double b;
  double expectMin;
  double expectMax;
};

// The knobs set one limit at a time; the other must stay where it was.
TEST(SlideGauge, AxisLimitsSetOneAtATimeKeepTheOther) {
  SlideGauge gauge(Qt::Horizontal);
  const std::vector<AxisStep> steps = {
      {AxisStep::Range, 5, 25, 5, 25},    {AxisStep::Maximum, 30, 0, 5, 30},
      {AxisStep::Minimum, 0, 0, 0, 30},   {AxisStep::Minimum, 12, 0, 12, 30},
      {AxisStep::Maximum, 12, 0, 12, 12}, {AxisStep::Minimum, 20, 0, 20, 12},
      {AxisStep::Maximum, 25, 0, 20, 25},
  };
  for (const AxisStep &s : steps) {
    switch (s.kind) {
    case AxisStep::Minimum:
      gauge.setAxisMinimum(s.a);
      break;
    case AxisStep::Maximum:
      gauge.setAxisMaximum(s.a);
      break;
    case AxisStep::Range:
      gauge.setAxisRange(s.a, s.b);
      break;
    }
    EXPECT_DOUBLE_EQ(gauge.axisMinimum(), s.expectMin);
    EXPECT_DOUBLE_EQ(gauge.axisMaximum(), s.expectMax);
  }
}

struct PointerCase {
  double axisMin;
  double axisMax;
  double value;
  int expectedSliderValue; // where the pointer stands, in thousandths
};

// The base slider holds the pointer's place in fixed point, stopped at the ends of the axis, while
// gaugeValue() keeps the true value: widening the axis later shows it.
TEST(SlideGauge, PointerStopsAtTheAxisEndsButTheValueIsKept) {
  const std::vector<PointerCase> cases = {
      {5, 25, 21.46, 21460}, {5, 25, 40, 25000}, {5, 25, -3, 5000},
      {0, 5, 1.04, 1040},    {0, 5, 0.004, 4},   {25, 5, 30, 25000}, // reversed axis
      {0, 5, 1e12, 5000},    {0, 5, -1e12, 0},
  };
  for (const PointerCase &c : cases) {
    SlideGauge gauge(Qt::Vertical);
    gauge.setAxisRange(c.axisMin, c.axisMax);
    gauge.setGaugeValue(c.value);
    EXPECT_DOUBLE_EQ(gauge.gaugeValue(), c.value);
    EXPECT_EQ(gauge.value(), c.expectedSliderValue)
        << c.axisMin << ".." << c.axisMax << " " << c.value;
  }

  // Limits too large for fixed point are held as far as the base slider can go, without overflow.
  SlideGauge huge(Qt::Horizontal);
  huge.setAxisRange(-1e12, 1e12);
  huge.setGaugeValue(1e12);
  EXPECT_GT(huge.value(), 0);
  EXPECT_EQ(huge.value(), huge.maximum());
  EXPECT_DOUBLE_EQ(huge.gaugeValue(), 1e12);

  SlideGauge gauge(Qt::Horizontal);
  gauge.setAxisRange(5, 25);
  gauge.setGaugeValue(40);
  gauge.setAxisMaximum(50);
  EXPECT_EQ(gauge.value(), 40000);
  gauge.setAxisMaximum(30);
  EXPECT_EQ(gauge.value(), 30000);
}

TEST(SlideGauge, SignalsEachChangeOnceAndIgnoresNotANumber) {
  SlideGauge gauge(Qt::Horizontal);
  gauge.setAxisRange(0, 5);
  QSignalSpy spy(&gauge, &SlideGauge::gaugeValueChanged);
  gauge.setGaugeValue(1.04);
  gauge.setGaugeValue(1.04);
  gauge.setGaugeValue(2.5);
  gauge.setGaugeValue(std::numeric_limits<double>::quiet_NaN());
  gauge.setGaugeValue(std::numeric_limits<double>::infinity());
  ASSERT_EQ(spy.count(), 2);
  EXPECT_DOUBLE_EQ(spy.at(0).at(0).toDouble(), 1.04);
  EXPECT_DOUBLE_EQ(spy.at(1).at(0).toDouble(), 2.5);
  EXPECT_DOUBLE_EQ(gauge.gaugeValue(), 2.5);
  EXPECT_DOUBLE_EQ(gauge.minMarker(), 1.04);
  EXPECT_DOUBLE_EQ(gauge.maxMarker(), 2.5);
}

TEST(SlideGauge, TheOperatorCannotMoveIt) {
  SlideGauge gauge(Qt::Horizontal);
  gauge.setAxisRange(0, 10);
  gauge.setGaugeValue(4);
  gauge.show();
  QTest::keyClick(&gauge, Qt::Key_Right);
  QTest::keyClick(&gauge, Qt::Key_PageUp);
  EXPECT_DOUBLE_EQ(gauge.gaugeValue(), 4.0);
  EXPECT_EQ(gauge.value(), 4000);
  EXPECT_EQ(gauge.focusPolicy(), Qt::NoFocus);
}

TEST(SlideGauge, CaptionIsTheAccessibleName) {
  SlideGauge gauge(Qt::Vertical);
  gauge.setCaption(QStringLiteral("L/min"));
  EXPECT_EQ(gauge.caption(), QStringLiteral("L/min"));
  EXPECT_EQ(gauge.accessibleName(), QStringLiteral("L/min"));
}

} // namespace
