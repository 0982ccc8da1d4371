#pragma once

#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace calibration {

// The pH channel's relation between a probe's volts V and the pH at t degrees Celsius:
//   V = offset + nernstVoltsPerKelvin * slope * (t + 273.15) * (pH - 7)
inline constexpr double nernstVoltsPerKelvin = 0.000198416;

// Buffer temperatures a calibration accepts, degrees Celsius, both ends included.
inline constexpr double lowestBufferCelsius = 0;
inline constexpr double highestBufferCelsius = 100;

// One buffer as measured: its pH at its temperature, and the probe's mean reading in it.
struct BufferReading {
  double ph = 0;
  double celsius = 0;
  double millivolts = 0;
};

enum class BufferFitProblem {
  None,
  TooFewBuffers,         // fewer than two readings
  BufferTwice,           // two readings of the same pH
  BuffersTooClose,       // two readings less than 1 pH apart
  TemperatureOutOfRange, // outside 0 to 100 degrees Celsius, or not a number
  PhNotFinite,
  ReadingNotFinite,
  NoSlope, // the readings do not determine a usable slope (all alike, or a slope of 0)
};

// Offset in volts and slope (a gain) as the pH channel uses them, and the largest distance,
// in pH units, between a buffer's pH and the pH the fitted relation gives for its reading.
struct BufferFit {
  double offset = 0;
  double slope = 0;
  double worstResidualPh = 0;
};

struct BufferFitResult {
  BufferFitProblem problem = BufferFitProblem::None;
  // The buffers (0-based) the problem is about; -1 where it concerns no particular one.
  int first = -1;
  int second = -1;
  std::optional<BufferFit> fit; // set exactly when problem is None
};

// Least-squares fit of offset and slope over the readings, each at its own temperature. The
// relation is linear in both: with x = nernstVoltsPerKelvin * (t + 273.15) * (pH - 7),
// V = offset + slope * x, and the fit minimises the squared differences in volts. Every reading
// is checked first; any problem gives no fit.
BufferFitResult fitBuffers(std::span<const BufferReading> readings);

// What the operator reads about a failed fit, naming buffers from 1.
QString bufferFitMessage(const BufferFitResult &result, std::span<const BufferReading> readings);

// One buffer solution of a common set: its nominal pH (as printed on the bottle) and its pH
// over temperature, read from the table by linear interpolation.
struct BufferSolution {
  double nominal = 0;
  std::vector<std::pair<double, double>> table; // (degrees Celsius, pH), ascending

  // The pH at `celsius`, or nullopt outside the table.
  std::optional<double> phAt(double celsius) const;
};

struct BufferSet {
  QString name; // as the operator chooses it, "4.01 / 7.00 / 10.01"
  std::vector<BufferSolution> solutions;
};

// The common buffer sets in the order offered: 4.01 / 7.00 / 10.01, 4.00 / 7.00 / 10.00 and
// 6.86 / 9.18.
const std::vector<BufferSet> &commonBufferSets();

} // namespace calibration
