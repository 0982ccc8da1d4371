#include "calibration/buffer_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using calibration::BufferFitProblem;
using calibration::BufferReading;

constexpr double k = 0.000198416;

// The probe's millivolts in a buffer, from the relation written out here on its own.
double millivoltsOf(double offset, double slope, double ph, double celsius) {
  return 1000 * (offset + k * slope * (celsius + 273.15) * (ph - 7));
}

TEST(BufferFit, ReadingsOfAKnownProbeAtFifteenAndThirtyDegreesGiveItsOffsetAndSlope) {
  struct Case {
    double offset, slope;
    std::vector<std::pair<double, double>> buffers; // pH, degrees Celsius
  };
  const Case cases[] = {
      {2.5777, 4.5427, {{7.00, 15}, {4.01, 30}}},
      {2.4530, 4.5358, {{4.00, 15}, {7.00, 30}, {10.00, 15}}},
      {-0.0123, 0.987, {{6.86, 30}, {9.18, 15}}},
      {0.5, 1.0, {{10.01, 30}, {4.01, 15}, {7.00, 30}}},
  };
  for (const Case &c : cases) {
    std::vector<BufferReading> readings;
    for (const auto &[ph, celsius] : c.buffers)
      readings.push_back({ph, celsius, millivoltsOf(c.offset, c.slope, ph, celsius)});
    const auto result = calibration::fitBuffers(readings);
    ASSERT_TRUE(result.fit) << c.offset;
    EXPECT_EQ(result.problem, BufferFitProblem::None);
    EXPECT_NEAR(result.fit->offset, c.offset, 1e-9);
    EXPECT_NEAR(result.fit->slope, c.slope, 1e-9);
    EXPECT_LT(result.fit->worstResidualPh, 1e-9);
  }
}

TEST(BufferFit, ThreeNoisyBuffersGiveTheSolutionOfTheNormalEquations) {
  const std::vector<BufferReading> readings = {
      {4.01, 15, millivoltsOf(2.5, 4.5, 4.01, 15) + 1.9},
      {7.00, 22, millivoltsOf(2.5, 4.5, 7.00, 22) - 2.6},
      {10.01, 30, millivoltsOf(2.5, 4.5, 10.01, 30) + 0.8},
  };
  // [n  Σx ] [a]   [Σv ]
  // [Σx Σx²] [b] = [Σxv], solved by Cramer's rule in long double.
  long double n = 0, sx = 0, sxx = 0, sv = 0, sxv = 0;
  for (const BufferReading &r : readings) {
    const long double x = (long double)k * (r.celsius + 273.15L) * (r.ph - 7);
    const long double v = r.millivolts / 1000.0L;
    n += 1;
    sx += x;
    sxx += x * x;
    sv += v;
    sxv += x * v;
  }
  const long double det = n * sxx - sx * sx;
  const double a = double((sv * sxx - sx * sxv) / det);
  const double b = double((n * sxv - sx * sv) / det);
  double worst = 0;
  for (const BufferReading &r : readings) {
    const double x = k * (r.celsius + 273.15) * (r.ph - 7);
    worst = std::max(worst,
                     std::abs((r.millivolts / 1000 - a - b * x) / (k * b * (r.celsius + 273.15))));
  }

  const auto result = calibration::fitBuffers(readings);
  ASSERT_TRUE(result.fit);
  EXPECT_NEAR(result.fit->offset, a, 1e-12);
  EXPECT_NEAR(result.fit->slope, b, 1e-11);
  EXPECT_NEAR(result.fit->worstResidualPh, worst, 1e-12);
  EXPECT_GT(result.fit->worstResidualPh, 0.005) << "the noise must show in the residual";
}

TEST(BufferFit, BadInputsGiveNoFitAndAMessageNamingTheBuffers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double mv4 = millivoltsOf(2.5, 4.5, 4, 25);
  const double mv7 = millivoltsOf(2.5, 4.5, 7, 25);
  const double mv10 = millivoltsOf(2.5, 4.5, 10, 25);
  struct Case {
    std::vector<BufferReading> readings;
    BufferFitProblem problem;
    const char *message;
  };
  const Case cases[] = {
      {{}, BufferFitProblem::TooFewBuffers, "Measure at least two buffers."},
      {{{7, 25, mv7}}, BufferFitProblem::TooFewBuffers, "Measure at least two buffers."},
      {{{4, 25, mv4}, {7, 25, mv7}, {7, 25, mv7}},
       BufferFitProblem::BufferTwice,
       "Buffers 2 and 3 are both pH 7.00: use each buffer once."},
      {{{7, 25, mv7}, {6.01, 25, mv7 - 1}},
       BufferFitProblem::BuffersTooClose,
       "Buffers 1 and 2 (pH 7.00 and 6.01) are less than 1 pH apart: use buffers at least 1 pH "
       "apart."},
      {{{4, 25, mv4}, {7, 100.5, mv7}},
       BufferFitProblem::TemperatureOutOfRange,
       "The temperature of buffer 2, 100.5 °C, is outside 0 to 100 °C."},
      {{{4, -0.5, mv4}, {7, 25, mv7}},
       BufferFitProblem::TemperatureOutOfRange,
       "The temperature of buffer 1, -0.5 °C, is outside 0 to 100 °C."},
      {{{4, nan, mv4}, {7, 25, mv7}}, BufferFitProblem::TemperatureOutOfRange, nullptr},
      {{{4, 25, mv4}, {7, 25, nan}},
       BufferFitProblem::ReadingNotFinite,
       "The millivolt reading of buffer 2 is not a number: measure it again."},
      {{{4, 25, inf}, {7, 25, mv7}}, BufferFitProblem::ReadingNotFinite, nullptr},
      {{{4, 25, mv4}, {nan, 25, mv7}}, BufferFitProblem::PhNotFinite, nullptr},
      {{{4, 25, 2500}, {7, 25, 2500}, {10, 25, 2500}},
       BufferFitProblem::NoSlope,
       "The readings give the probe no slope: it does not respond to the buffers. Check the probe "
       "and measure again."},
  };
  for (const Case &c : cases) {
    const auto result = calibration::fitBuffers(c.readings);
    EXPECT_EQ(result.problem, c.problem) << c.readings.size();
    EXPECT_FALSE(result.fit);
    if (c.message) {
      EXPECT_EQ(calibration::bufferFitMessage(result, c.readings).toStdString(), c.message);
    }
  }
  // The edges of the temperature range are allowed.
  const std::vector<BufferReading> edges = {{4, 0, mv4}, {10, 100, mv10}};
  EXPECT_TRUE(calibration::fitBuffers(edges).fit);
}

TEST(BufferSets, EachBufferReadsItsNominalPhAtTwentyFiveDegreesAndInterpolatesBetweenRows) {
  const auto &sets = calibration::commonBufferSets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].name, "4.01 / 7.00 / 10.01");
  EXPECT_EQ(sets[1].name, "4.00 / 7.00 / 10.00");
  EXPECT_EQ(sets[2].name, "6.86 / 9.18");
  for (const auto &set : sets) {
    for (const auto &solution : set.solutions) {
      const auto at25 = solution.phAt(25);
      ASSERT_TRUE(at25) << solution.nominal;
      EXPECT_NEAR(*at25, solution.nominal, 0.006) << set.name.toStdString();
      EXPECT_FALSE(solution.phAt(-0.01)) << solution.nominal;
      for (std::size_t i = 1; i < solution.table.size(); ++i)
        EXPECT_LT(solution.table[i - 1].first, solution.table[i].first) << solution.nominal;
    }
  }
  const auto &phosphate = sets[2].solutions[0];
  EXPECT_NEAR(*phosphate.phAt(22.5), (6.881 + 6.865) / 2, 1e-12);
  EXPECT_DOUBLE_EQ(*sets[2].solutions[1].phAt(95), 8.833);
  EXPECT_FALSE(sets[2].solutions[1].phAt(95.5));
  EXPECT_DOUBLE_EQ(*sets[0].solutions[1].phAt(20), 7.02);
  EXPECT_FALSE(sets[0].solutions[2].phAt(60.5)) << "the technical tables end at 60 °C";
}

} // namespace
