#pragma once

#include "calibration/buffer_fit.h"
#include "state/acquisition_state.h"

#include <QDialog>
#include <QElapsedTimer>

#include <array>
#include <deque>
#include <functional>
#include <optional>

class QComboBox;
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
// Object names: "cmbBufferSet", "txtBufferPh_0".."_2", "lblBufferAt_0".."_2", "cmdMeasure_0".."_2",
// "cmdAccept_0".."_2", "lblMv_0".."_2", "lblDrift_0".."_2", "lblState_0".."_2", "cmbTempSource",
// "txtBufferTemp", "lblTempNow", "lblLiveMv", "lblFit", "lblWarning", "lblMessage", "cmdApply",
// "cmdCancel".
class frmBufferCal : public QDialog {
  Q_OBJECT
public:
  struct Hooks {
    // The text of the calibration dialog's "Temp.:" box, read whenever it is the chosen source.
    std::function<QString()> calTempText;
    // Writes the texts into the calibration dialog's offset and slope boxes, as if typed, and
    // dates the calibration today. False when `probe` is no longer the one selected there.
    std::function<bool(int probe, const QString &offset, const QString &slope)> apply;
  };

  // Calibrates probe `probe` (1 or 2). The probe's slope at this moment is the "present slope"
  // the fitted one is compared with. `state` must outlive the assistant.
  frmBufferCal(const AcquisitionState &state, int probe, Hooks hooks, QWidget *parent = nullptr);

  int probe() const { return m_probe; }

  // How long a reading is averaged, and how far back drift is judged, in milliseconds. A
  // measurement becomes stable at the earliest after this time. Takes effect at the next
  // "Measure".
  void setSettlingTime(int ms) { m_settleMs = ms; }
  int settlingTime() const { return m_settleMs; }

  static constexpr int defaultSettlingMs = 30000;
  static constexpr int sampleIntervalMs = 200;

private:
  struct Row {
    bool measured = false;
    bool stable = false;
    double millivolts = 0;
    double celsius = 0;
  };
  struct Sample {
    qint64 ms;
    double millivolts;
    double celsius;
  };
  struct RowControls {
    QLineEdit *ph = nullptr;
    QLabel *phAt = nullptr;
    QPushButton *measure = nullptr;
    QPushButton *accept = nullptr;
    QLabel *mv = nullptr;
    QLabel *drift = nullptr;
    QLabel *state = nullptr;
  };

  void chooseSet(int index);
  void measure(int row);
  void acceptReading(int row);
  void tick();
  bool takeSample();
  void finish(bool stable);
  void stopMeasuring(const QString &why);
  void refit();
  void apply();
  void showMessage(const QString &text);
  void refreshRows();

  double liveMillivolts() const;
  // The chosen source's temperature now, or nullopt with the reason in `why`.
  std::optional<double> temperatureNow(QString *why) const;
  // Row `row`'s pH at `celsius`: the set's table value, or the typed value as typed.
  std::optional<double> bufferPh(int row, double celsius, QString *why) const;
  double stableLimitMvPerMinute(double celsius) const;

  const AcquisitionState &m_state;
  const int m_probe;
  const double m_presentSlope;
  Hooks m_hooks;
  int m_settleMs = defaultSettlingMs;

  std::array<Row, 3> m_rows;
  std::array<RowControls, 3> m_controls;
  int m_measuring = -1;
  QElapsedTimer m_sinceStart;
  std::deque<Sample> m_samples;
  double m_fixedCelsius = 0; // the temperature of this measurement unless a thermistor gives it
  std::optional<calibration::BufferFit> m_fit;

  QTimer *m_tick = nullptr;
  QComboBox *m_cmbBufferSet = nullptr;
  QComboBox *m_cmbTempSource = nullptr;
  QLineEdit *m_txtBufferTemp = nullptr;
  QLabel *m_lblTempNow = nullptr;
  QLabel *m_lblLiveMv = nullptr;
  QLabel *m_lblFit = nullptr;
  QLabel *m_lblWarning = nullptr;
  QLabel *m_lblMessage = nullptr;
  QPushButton *m_cmdApply = nullptr;
};
