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

namespace {

// A set's temperature table: one row per temperature, degrees Celsius and then the pH of each of
// the set's solutions, in the order of the set's nominal values.
template <std::size_t Solutions, std::size_t Rows>
BufferSet tabulatedSet(const QString &name, const double (&nominals)[Solutions],
                       const double (&rows)[Rows][Solutions + 1]) {
  BufferSet set{name, {}};
  for (std::size_t s = 0; s < Solutions; ++s) {
    BufferSolution solution{nominals[s], {}};
    for (const auto &row : rows)
      solution.table.emplace_back(row[0], row[s + 1]);
    set.solutions.push_back(std::move(solution));
  }
  return set;
}

// Technical buffers pH 4.01, 7.00 and 10.01: the temperature tables that pH-meter and buffer
// makers publish for them and build into their meters' buffer recognition; makers' tables agree
// to within about 0.01 pH over 0 to 60 °C, the range given here.
// clang-format off
constexpr double technical401Nominals[] = {4.01, 7.00, 10.01};
constexpr double technical401[][4] = {
    { 0, 4.01, 7.13, 10.32},
    { 5, 4.00, 7.10, 10.24},
    {10, 4.00, 7.07, 10.18},
    {15, 4.00, 7.04, 10.12},
    {20, 4.00, 7.02, 10.06},
    {25, 4.01, 7.00, 10.01},
    {30, 4.01, 6.99,  9.97},
    {35, 4.02, 6.98,  9.93},
    {40, 4.03, 6.97,  9.89},
    {45, 4.04, 6.97,  9.86},
    {50, 4.06, 6.97,  9.83},
    {55, 4.07, 6.97,  9.81},
    {60, 4.09, 6.98,  9.79},
};

// Technical buffers pH 4.00, 7.00 and 10.00: the same kind of makers' tables for this set, over
// the same range.
constexpr double technical400Nominals[] = {4.00, 7.00, 10.00};
constexpr double technical400[][4] = {
    { 0, 4.01, 7.12, 10.34},
    { 5, 4.01, 7.09, 10.25},
    {10, 4.00, 7.06, 10.18},
    {15, 4.00, 7.04, 10.12},
    {20, 4.00, 7.02, 10.06},
    {25, 4.00, 7.00, 10.00},
    {30, 4.01, 6.99,  9.96},
    {35, 4.02, 6.98,  9.92},
    {40, 4.03, 6.97,  9.88},
    {45, 4.04, 6.97,  9.85},
    {50, 4.06, 6.96,  9.82},
    {55, 4.08, 6.96,  9.79},
    {60, 4.09, 6.96,  9.77},
};

// pH 6.86 and 9.18: the primary standard buffers of DIN 19266 and NIST (phosphate 0.025 mol/kg
// each of KH2PO4 and Na2HPO4, pH 6.865 at 25 °C; borax 0.01 mol/kg, pH 9.180 at 25 °C), with
// their standard values from 0 to 95 °C.
constexpr double standardNominals[] = {6.86, 9.18};
constexpr double standard[][3] = {
    { 0, 6.984, 9.464},
    { 5, 6.951, 9.395},
    {10, 6.923, 9.332},
    {15, 6.900, 9.276},
    {20, 6.881, 9.225},
    {25, 6.865, 9.180},
    {30, 6.853, 9.139},
    {35, 6.844, 9.102},
    {37, 6.841, 9.088},
    {40, 6.838, 9.068},
    {45, 6.834, 9.038},
    {50, 6.833, 9.011},
    {55, 6.834, 8.985},
    {60, 6.836, 8.962},
    {70, 6.845, 8.921},
    {80, 6.859, 8.885},
    {90, 6.877, 8.850},
    {95, 6.886, 8.833},
};
// clang-format on

} // namespace

const std::vector<BufferSet> &commonBufferSets() {
  static const std::vector<BufferSet> sets = {
      tabulatedSet(QStringLiteral("4.01 / 7.00 / 10.01"), technical401Nominals, technical401),
      tabulatedSet(QStringLiteral("4.00 / 7.00 / 10.00"), technical400Nominals, technical400),
      tabulatedSet(QStringLiteral("6.86 / 9.18"), standardNominals, standard),
  };
  return sets;
}

} // namespace calibration
