#include "calibration/drift_window.h"

#include "calibration/buffer_fit.h"

#include <cmath>

namespace calibration {

double stableLimitMvPerMinute(double slope, double celsius) {
  const double gain = std::isfinite(slope) && slope != 0 ? slope : 1;
  return stablePhPerMinute * nernstVoltsPerKelvin * std::abs(gain) * (celsius + 273.15) * 1000;
}

void DriftWindow::add(qint64 ms, double millivolts, double celsius) {
  m_lastMs = ms;
  m_samples.push_back({ms, millivolts, celsius});
  while (m_samples.size() > 1 && m_samples.front().ms < ms - m_settleMs)
    m_samples.pop_front();

  double meanMs = 0, meanMv = 0, meanC = 0;
  for (const Sample &s : m_samples) {
    meanMs += double(s.ms);
    meanMv += s.millivolts;
    meanC += s.celsius;
  }
  const double n = double(m_samples.size());
  meanMs /= n;
  m_meanMv = meanMv / n;
  m_meanC = meanC / n;
  double stt = 0, stv = 0;
  for (const Sample &s : m_samples) {
    stt += (s.ms - meanMs) * (s.ms - meanMs);
    stv += (s.ms - meanMs) * (s.millivolts - m_meanMv);
  }
  m_drift = stt > 0 ? std::optional<double>(stv / stt * 60000) : std::nullopt;
}

bool DriftWindow::stable(double limitMvPerMinute) const {
  return m_lastMs >= m_settleMs && m_drift && std::abs(*m_drift) <= limitMvPerMinute;
}

} // namespace calibration
