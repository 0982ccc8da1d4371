#pragma once

#include "calibration/buffer_fit.h"
#include "calibration/buffer_measurement.h"
#include "calibration/buffer_result.h"
#include "calibration/probe_care.h"
#include "state/acquisition_state.h"

#include <QDialog>
#include <QElapsedTimer>

#include <array>
#include <functional>
#include <optional>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// "Calibrate from buffers": measures one probe in two or three buffer solutions and fits its
// offset and slope. It only reads AcquisitionState, sampling the millivolts the read cycle
// stores, on a timer of its own: it never blocks the window or the read cycle. It writes nothing
// itself; "Apply" hands the result to the calibration dialog. Modeless; deletes itself when
// closed.
//
// A measured buffer keeps the pH and temperature it was measured at. A fitted slope no working
// probe gives is refused; one beyond the probe's condition limits needs the operator's
// confirmation, which the result carries.
//
// Object names: "cmbBufferSet", "txtBufferPh_0".."_2", "lblBufferAt_0".."_2", "cmdMeasure_0".."_2"
// ("Stop" while its buffer is measured), "cmdAccept_0".."_2", "lblMv_0".."_2", "lblDrift_0".."_2",
// "lblState_0".."_2", "lblRule", "cmbTempSource", "txtBufferTemp", "lblTempNow", "lblLiveMv",
// "lblFit", "lblFitTemp", "lblCondition", "lblWarning", "lblMessage", "cmdApply", "cmdCancel".
class frmBufferCal : public QDialog {
  Q_OBJECT
public:
  struct Hooks {
    // The text of the calibration dialog's "Temp.:" box, read whenever it is the chosen source.
    std::function<QString()> calTempText;
    // Writes the result into the calibration dialog's offset and slope boxes, as if typed, and
    // dates the calibration today. False when `probe` is no longer the one selected there.
    std::function<bool(int probe, const calibration::BufferResult &result)> apply;
  };

  // The sources of the buffer temperature, in the order offered.
  enum TempSource {
    FromCalTemp = 0,
    Typed = 1,
    Thermistor1 = 2,
    Thermistor3 = 4,
    Compensating = 5
  };

  // Calibrates probe `probe` (1 or 2). The probe's values at this moment are the "present" ones
  // the result is compared with. `state` and `memory` must outlive the assistant.
  frmBufferCal(const AcquisitionState &state, int probe, Hooks hooks,
               calibration::AssistantMemory &memory, QWidget *parent = nullptr);

  int probe() const { return m_probe; }

  // How long a reading is averaged, and how far back drift is judged, in milliseconds. A
  // measurement becomes stable at the earliest after this time. Takes effect at the next
  // "Measure".
  void setSettlingTime(int ms);
  int settlingTime() const { return m_settleMs; }

  static constexpr int defaultSettlingMs = 30000;
  static constexpr int sampleIntervalMs = 200;

private:
  struct RowControls {
    QLineEdit *ph = nullptr;
    QLabel *phAt = nullptr;
    QPushButton *measure = nullptr;
    QPushButton *accept = nullptr;
    QLabel *mv = nullptr;
    QLabel *drift = nullptr;
    QLabel *state = nullptr;
  };

  // Layout.
  void buildBufferRows(QGridLayout *grid);
  void buildBufferRow(QGridLayout *grid, int row);
  QLayout *buildTemperatureRow();
  QLayout *buildResult();

  void chooseSet(int index);
  void measureOrStop(int row);
  void measure(int row);
  void acceptReading(int row);
  void tick();
  bool takeSample();
  void finish(bool stable);
  // The operator's "Stop".
  void stopMeasuring(const QString &why);
  // Row `row`'s controls once its measurement was stopped; `why` is said.
  void showStopped(int row, const QString &why);
  void endMeasuring(int row);
  void refit();
  // The fit's problem as the operator reads it, naming the buffers by their rows.
  void showFitProblem(const calibration::BufferFitResult &result, const std::vector<int> &rowOf,
                      const std::vector<calibration::BufferReading> &readings);
  // A slope far from the probe's present one, or a buffer far from the fitted line: shown, not
  // refused.
  void showFitWarnings(const calibration::BufferFit &fit);
  void showCondition();
  void apply();
  void showMessage(const QString &text);
  void refreshRows();

  double liveMillivolts() const;
  // The thermistor (1 to 3) the chosen source reads now, or 0 for a typed temperature.
  int thermistorOfSource() const;
  QString sourceDescription() const;
  // The chosen source's temperature now, or nullopt with the reason in `why`.
  std::optional<double> temperatureNow(QString *why) const;
  // Row `row`'s pH at `celsius`: the set's table value, or the typed value as typed.
  std::optional<double> bufferPh(int row, double celsius, QString *why) const;
  // The pH the fit uses for a measured row.
  std::optional<double> measuredPh(int row, QString *why) const;
  bool tableSet() const;

  const AcquisitionState &m_state;
  const int m_probe;
  const double m_presentOffset;
  const double m_presentSlope;
  Hooks m_hooks;
  calibration::AssistantMemory &m_memory;
  int m_settleMs = defaultSettlingMs;

  calibration::BufferMeasurement m_measurement;
  std::array<RowControls, 3> m_controls;
  QElapsedTimer m_sinceStart;
  std::optional<calibration::BufferFit> m_fit;
  std::optional<calibration::Condition> m_condition;

  QTimer *m_tick = nullptr;
  QComboBox *m_cmbBufferSet = nullptr;
  QComboBox *m_cmbTempSource = nullptr;
  QLineEdit *m_txtBufferTemp = nullptr;
  QLabel *m_lblRule = nullptr;
  QLabel *m_lblTempNow = nullptr;
  QLabel *m_lblLiveMv = nullptr;
  QLabel *m_lblFit = nullptr;
  QLabel *m_lblFitTemp = nullptr;
  QLabel *m_lblCondition = nullptr;
  QLabel *m_lblWarning = nullptr;
  QLabel *m_lblMessage = nullptr;
  QPushButton *m_cmdApply = nullptr;
};
