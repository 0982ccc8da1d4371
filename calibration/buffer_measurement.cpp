#include "calibration/buffer_measurement.h"

#include <cmath>

namespace calibration {

void BufferMeasurement::start(int row, qint64 settleMs, double fixedCelsius, int thermistor,
                              const QString &source) {
  m_rows[size_t(row)] = BufferRow{};
  m_window = DriftWindow(settleMs);
  m_fixedCelsius = fixedCelsius;
  m_thermistor = thermistor;
  m_source = source;
  m_measuring = row;
}

BufferMeasurement::StepResult BufferMeasurement::sample(qint64 ms, const BufferSample &now) {
  const int row = m_measuring;
  if (row < 0)
    return {Step::Stopped, QString()};
  if (!now.phOn)
    return stopped(QStringLiteral("The pH channel was switched off while buffer %1 was "
                                  "measured: nothing was taken. Switch it on and measure again.")
                       .arg(row + 1));
  if (!std::isfinite(now.millivolts))
    return stopped(QStringLiteral("Probe %1 gave a millivolt reading that is not a number while "
                                  "buffer %2 was measured: nothing was taken.")
                       .arg(m_probe)
                       .arg(row + 1));
  double celsius = m_fixedCelsius;
  if (m_thermistor > 0) {
    if (!now.thermOn)
      return stopped(QStringLiteral("The thermistor channel is off: switch it on in the main "
                                    "window, or take the temperature from elsewhere. Nothing "
                                    "was taken for buffer %1.")
                         .arg(row + 1));
    celsius = now.thermistors[size_t(m_thermistor - 1)];
  }
  m_window.add(ms, now.millivolts, celsius);
  BufferRow &r = m_rows[size_t(row)];
  r.millivolts = m_window.meanMillivolts();
  r.celsius = m_window.meanCelsius();
  const bool stable = m_window.stable(stableLimitMvPerMinute(m_presentSlope, r.celsius));
  return {stable ? Step::Stable : Step::Going, QString()};
}

void BufferMeasurement::finish(bool stable, double ph) {
  if (m_measuring < 0)
    return;
  BufferRow &r = m_rows[size_t(m_measuring)];
  r.ph = ph;
  r.source = m_source;
  r.measured = true;
  r.stable = stable;
  m_measuring = -1;
}

void BufferMeasurement::stop() {
  if (m_measuring < 0)
    return;
  clear(m_measuring);
  m_measuring = -1;
}

BufferMeasurement::StepResult BufferMeasurement::stopped(const QString &why) {
  stop();
  return {Step::Stopped, why};
}

} // namespace calibration
