#include "calibration/buffer_fit.h"

#include "common/number_text.h"

#include <algorithm>
#include <cmath>

namespace calibration {
namespace {

constexpr double kelvinAtZeroCelsius = 273.15;
// Two pH values closer than this are the same buffer typed twice.
constexpr double samePh = 1e-9;

double nernstX(const BufferReading &r) {
  return nernstVoltsPerKelvin * (r.celsius + kelvinAtZeroCelsius) * (r.ph - 7);
}

BufferFitResult failure(BufferFitProblem problem, int first = -1, int second = -1) {
  BufferFitResult result;
  result.problem = problem;
  result.first = first;
  result.second = second;
  return result;
}

} // namespace

BufferFitResult fitBuffers(std::span<const BufferReading> readings) {
  const int n = int(readings.size());
  for (int i = 0; i < n; ++i) {
    const BufferReading &r = readings[i];
    if (!std::isfinite(r.millivolts))
      return failure(BufferFitProblem::ReadingNotFinite, i);
    if (!std::isfinite(r.ph))
      return failure(BufferFitProblem::PhNotFinite, i);
    if (!(r.celsius >= lowestBufferCelsius && r.celsius <= highestBufferCelsius))
      return failure(BufferFitProblem::TemperatureOutOfRange, i);
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const double apart = std::abs(readings[i].ph - readings[j].ph);
      if (apart < samePh)
        return failure(BufferFitProblem::BufferTwice, i, j);
      if (apart < 1)
        return failure(BufferFitProblem::BuffersTooClose, i, j);
    }
  }
  if (n < 2)
    return failure(BufferFitProblem::TooFewBuffers);

  // Centred sums keep the normal equations well conditioned: the volts sit near 2.5 V while
  // their differences are tenths of a volt.
  double meanX = 0;
  double meanV = 0;
  for (const BufferReading &r : readings) {
    meanX += nernstX(r);
    meanV += r.millivolts / 1000;
  }
  meanX /= n;
  meanV /= n;
  double sxx = 0;
  double sxv = 0;
  for (const BufferReading &r : readings) {
    const double dx = nernstX(r) - meanX;
    sxx += dx * dx;
    sxv += dx * (r.millivolts / 1000 - meanV);
  }
  const double slope = sxv / sxx;
  if (!(sxx > 0) || !std::isfinite(slope) || slope == 0)
    return failure(BufferFitProblem::NoSlope);

  BufferFit fit;
  fit.slope = slope;
  fit.offset = meanV - slope * meanX;
  for (const BufferReading &r : readings) {
    const double volts = r.millivolts / 1000;
    const double residual = (volts - fit.offset - slope * nernstX(r)) /
                            (nernstVoltsPerKelvin * slope * (r.celsius + kelvinAtZeroCelsius));
    fit.worstResidualPh = std::max(fit.worstResidualPh, std::abs(residual));
  }
  BufferFitResult result;
  result.fit = fit;
  return result;
}

QString bufferFitMessage(const BufferFitResult &result, std::span<const BufferReading> readings) {
  const auto ph = [&](int i) { return QString::number(readings[i].ph, 'f', 2); };
  switch (result.problem) {
  case BufferFitProblem::None:
    return QString();
  case BufferFitProblem::TooFewBuffers:
    return QStringLiteral("Measure at least two buffers.");
  case BufferFitProblem::BufferTwice:
    return QStringLiteral("Buffers %1 and %2 are both pH %3: use each buffer once.")
        .arg(result.first + 1)
        .arg(result.second + 1)
        .arg(ph(result.first));
  case BufferFitProblem::BuffersTooClose:
    return QStringLiteral("Buffers %1 and %2 (pH %3 and %4) are less than 1 pH apart: use buffers "
                          "at least 1 pH apart.")
        .arg(result.first + 1)
        .arg(result.second + 1)
        .arg(ph(result.first), ph(result.second));
  case BufferFitProblem::TemperatureOutOfRange:
    return QStringLiteral("The temperature of buffer %1, %2 °C, is outside 0 to 100 °C.")
        .arg(result.first + 1)
        .arg(common::generalNumber(readings[result.first].celsius));
  case BufferFitProblem::PhNotFinite:
    return QStringLiteral("The pH of buffer %1 is not a number.").arg(result.first + 1);
  case BufferFitProblem::ReadingNotFinite:
    return QStringLiteral("The millivolt reading of buffer %1 is not a number: measure it again.")
        .arg(result.first + 1);
  case BufferFitProblem::NoSlope:
    return QStringLiteral("The readings give the probe no slope: it does not respond to the "
                          "buffers. Check the probe and measure again.");
  }
  return QString();
}

std::optional<double> BufferSolution::phAt(double celsius) const {
  if (table.empty() || !(celsius >= table.front().first && celsius <= table.back().first))
    return std::nullopt;
  const auto above = std::lower_bound(table.begin(), table.end(), celsius,
                                      [](const auto &row, double t) { return row.first < t; });
  if (above->first == celsius)
    return above->second;
  const auto below = above - 1;
  const double share = (celsius - below->first) / (above->first - below->first);
  return below->second + share * (above->second - below->second);
}

const std::vector<BufferSet> &commonBufferSets() {
  // Technical buffers pH 4.01, 7.00 and 10.01: the temperature tables that pH-meter and buffer
  // makers publish for them and build into their meters' buffer recognition; makers' tables agree
  // to within about 0.01 pH over 0 to 60 °C, the range given here.
  //
  // Technical buffers pH 4.00, 7.00 and 10.00: the same kind of makers' tables for this set, over
  // the same range.
  //
  // pH 6.86 and 9.18: the primary standard buffers of DIN 19266 and NIST (phosphate 0.025 mol/kg
  // each of KH2PO4 and Na2HPO4, pH 6.865 at 25 °C; borax 0.01 mol/kg, pH 9.180 at 25 °C), with
  // their standard values from 0 to 95 °C.
  static const std::vector<BufferSet> sets = {
      {QStringLiteral("4.01 / 7.00 / 10.01"),
       {{4.01,
         {{0, 4.01},
          {5, 4.00},
          {10, 4.00},
          {15, 4.00},
          {20, 4.00},
          {25, 4.01},
          {30, 4.01},
          {35, 4.02},
          {40, 4.03},
          {45, 4.04},
          {50, 4.06},
          {55, 4.07},
          {60, 4.09}}},
        {7.00,
         {{0, 7.13},
          {5, 7.10},
          {10, 7.07},
          {15, 7.04},
          {20, 7.02},
          {25, 7.00},
          {30, 6.99},
          {35, 6.98},
          {40, 6.97},
          {45, 6.97},
          {50, 6.97},
          {55, 6.97},
          {60, 6.98}}},
        {10.01,
         {{0, 10.32},
          {5, 10.24},
          {10, 10.18},
          {15, 10.12},
          {20, 10.06},
          {25, 10.01},
          {30, 9.97},
          {35, 9.93},
          {40, 9.89},
          {45, 9.86},
          {50, 9.83},
          {55, 9.81},
          {60, 9.79}}}}},
      {QStringLiteral("4.00 / 7.00 / 10.00"),
       {{4.00,
         {{0, 4.01},
          {5, 4.01},
          {10, 4.00},
          {15, 4.00},
          {20, 4.00},
          {25, 4.00},
          {30, 4.01},
          {35, 4.02},
          {40, 4.03},
          {45, 4.04},
          {50, 4.06},
          {55, 4.08},
          {60, 4.09}}},
        {7.00,
         {{0, 7.12},
          {5, 7.09},
          {10, 7.06},
          {15, 7.04},
          {20, 7.02},
          {25, 7.00},
          {30, 6.99},
          {35, 6.98},
          {40, 6.97},
          {45, 6.97},
          {50, 6.96},
          {55, 6.96},
          {60, 6.96}}},
        {10.00,
         {{0, 10.34},
          {5, 10.25},
          {10, 10.18},
          {15, 10.12},
          {20, 10.06},
          {25, 10.00},
          {30, 9.96},
          {35, 9.92},
          {40, 9.88},
          {45, 9.85},
          {50, 9.82},
          {55, 9.79},
          {60, 9.77}}}}},
      {QStringLiteral("6.86 / 9.18"),
       {{6.86,
         {{0, 6.984},
          {5, 6.951},
          {10, 6.923},
          {15, 6.900},
          {20, 6.881},
          {25, 6.865},
          {30, 6.853},
          {35, 6.844},
          {37, 6.841},
          {40, 6.838},
          {45, 6.834},
          {50, 6.833},
          {55, 6.834},
          {60, 6.836},
          {70, 6.845},
          {80, 6.859},
          {90, 6.877},
          {95, 6.886}}},
        {9.18,
         {{0, 9.464},
          {5, 9.395},
          {10, 9.332},
          {15, 9.276},
          {20, 9.225},
          {25, 9.180},
          {30, 9.139},
          {35, 9.102},
          {37, 9.088},
          {40, 9.068},
          {45, 9.038},
          {50, 9.011},
          {55, 8.985},
          {60, 8.962},
          {70, 8.921},
          {80, 8.885},
          {90, 8.850},
          {95, 8.833}}}}},
  };
  return sets;
}

} // namespace calibration
