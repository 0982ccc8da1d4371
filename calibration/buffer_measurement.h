#pragma once

#include "calibration/drift_window.h"

#include <QString>

#include <array>

namespace calibration {

// What the read cycle holds at the moment of one sample of a buffer measurement.
struct BufferSample {
  bool phOn = false;
  double millivolts = 0; // the calibrated probe's
  bool thermOn = false;
  std::array<double, 3> thermistors{}; // T-1 to T-3, without the operator's display offset
};

// One buffer's row of the assistant.
struct BufferRow {
  bool measured = false;
  bool stable = false;
  double millivolts = 0;
  double celsius = 0;
  double ph = 0;  // the pH the buffer has at `celsius`, kept once measured
  QString source; // where `celsius` came from
};

// The measuring of up to three buffers for one probe, without widgets: which buffer is measured,
// the samples of its settling window, and what each measured buffer kept. The assistant shows it;
// the caller gives each sample's time and reading.
class BufferMeasurement {
public:
  static constexpr int rowCount = 3;

  // `presentSlope`: the probe's gain now, by which stability is judged.
  BufferMeasurement(int probe, double presentSlope)
      : m_probe(probe), m_presentSlope(presentSlope) {}

  // Begins measuring `row` afresh, averaging over `settleMs`. Its temperature is `fixedCelsius`,
  // or that of `thermistor` (1 to 3) at every sample when it is not 0; `source` names where it
  // comes from.
  void start(int row, qint64 settleMs, double fixedCelsius, int thermistor, const QString &source);

  enum class Step { Going, Stable, Stopped };
  struct StepResult {
    Step step;
    QString why; // for Stopped: what the operator is told, the row cleared
  };
  // Adds the sample taken `ms` after the start. A pH channel switched off, a millivolt reading
  // that is not a number, or the temperature's thermistor channel switched off stops the
  // measurement and clears its row: nothing is taken from it.
  StepResult sample(qint64 ms, const BufferSample &now);
  // Ends the measurement, its row measured at pH `ph`; `stable` says whether it settled.
  void finish(bool stable, double ph);
  // Ends the measurement, its row cleared.
  void stop();
  void clear(int row) { m_rows[size_t(row)] = BufferRow{}; }

  // The row measured now, or -1.
  int measuring() const { return m_measuring; }
  const BufferRow &row(int row) const { return m_rows[size_t(row)]; }
  const std::array<BufferRow, rowCount> &rows() const { return m_rows; }
  const DriftWindow &window() const { return m_window; }

private:
  StepResult stopped(const QString &why);

  const int m_probe;
  const double m_presentSlope;
  std::array<BufferRow, rowCount> m_rows;
  int m_measuring = -1;
  DriftWindow m_window{0};
  double m_fixedCelsius = 0;
  int m_thermistor = 0;
  QString m_source;
};

} // namespace calibration
