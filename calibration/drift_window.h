#pragma once

#include <QtGlobal>

#include <deque>
#include <optional>

namespace calibration {

// A reading is stable when it drifts by less than this many pH a minute over the settling time.
inline constexpr double stablePhPerMinute = 0.01;

// The millivolt drift a minute that stablePhPerMinute allows a probe of gain `slope` at
// `celsius`: the limit follows the probe, whose gain may be far from 1.
double stableLimitMvPerMinute(double slope, double celsius);

// The samples of one buffer measurement over the last settling time: their means and the
// least-squares drift of the millivolts. No clock of its own: the caller gives each sample's time.
class DriftWindow {
public:
  explicit DriftWindow(qint64 settleMs) : m_settleMs(settleMs) {}

  // Adds a sample taken `ms` after the measurement began and drops those older than the
  // settling time before it (the newest is always kept).
  void add(qint64 ms, double millivolts, double celsius);

  double meanMillivolts() const { return m_meanMv; }
  double meanCelsius() const { return m_meanC; }
  // Millivolts a minute, once the samples span some time.
  std::optional<double> driftMvPerMinute() const { return m_drift; }
  // True once the measurement has lasted the settling time and the drift is within `limit`.
  bool stable(double limitMvPerMinute) const;
  qint64 elapsedMs() const { return m_lastMs; }

private:
  struct Sample {
    qint64 ms;
    double millivolts;
    double celsius;
  };
  qint64 m_settleMs;
  qint64 m_lastMs = 0;
  std::deque<Sample> m_samples;
  double m_meanMv = 0;
  double m_meanC = 0;
  std::optional<double> m_drift;
};

} // namespace calibration
