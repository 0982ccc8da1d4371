// The buffer assistant opened from the calibration dialog, over a state the test sets by hand.
#include "buffer_cal_wait.h"
#include "calibration/calibration_opener.h"
#include "calibration/frm_buffer_cal.h"
#include "temp_store.h"
#include "tests/support/recorders.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>
#include <limits>

namespace {

double millivoltsOf(double offset, double slope, double ph, double celsius) {
  return 1000 * (offset + 0.000198416 * slope * (celsius + 273.15) * (ph - 7));
}

class BufferAssistant : public TempStore {
protected:
  void SetUp() override {
    TempStore::SetUp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_cal = m_opener.open();
  }
  void TearDown() override {
    delete m_opener.dialog();
    TempStore::TearDown();
  }

  frmBufferCal *openAssistant() {
    m_cal->findChild<QPushButton *>("cmdBufferCal")->click();
    m_assistant = m_cal->findChild<frmBufferCal *>("frmBufferCal");
    EXPECT_TRUE(m_assistant && m_assistant->isVisible());
    return m_assistant;
  }
  template <typename T> T *in(const QString &name) const {
    T *widget = m_assistant->findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QString message() const { return in<QLabel>("lblMessage")->text(); }
  QString rowState(int row) const { return in<QLabel>(QString("lblState_%1").arg(row))->text(); }
  void click(const QString &name) const { in<QPushButton>(name)->click(); }

  // Typed buffers at a typed 25 °C.
  void typeBuffers(const QString &first, const QString &second) const {
    in<QComboBox>("cmbTempSource")->setCurrentIndex(1);
    in<QLineEdit>("txtBufferTemp")->setText("25");
    in<QLineEdit>("txtBufferPh_0")->setText(first);
    in<QLineEdit>("txtBufferPh_1")->setText(second);
  }
  // Measures a row at `mv` and accepts it at once, before it is stable.
  void measureAt(int row, double mv) {
    double &live = m_assistant->probe() == 2 ? m_state.ph2mV : m_state.ph1mV;
    live = mv;
    click(QString("cmdMeasure_%1").arg(row));
    ASSERT_TRUE(in<QPushButton>(QString("cmdAccept_%1").arg(row))->isEnabled())
        << message().toStdString();
    click(QString("cmdAccept_%1").arg(row));
    ASSERT_EQ(rowState(row), "accepted, not stable");
  }

  AcquisitionState m_state;
  testsupport::RecordingMessages m_messages;
  calibration::CalibrationOpener m_opener{m_state, m_messages};
  frmCal *m_cal = nullptr;
  frmBufferCal *m_assistant = nullptr;
};

TEST_F(BufferAssistant, EveryBadInputShowsItsMessageAndNothingIsMeasuredOrApplied) {
  openAssistant();
  typeBuffers("7", "4");
  const double offset = m_state.probe1Offset;
  const double slope = m_state.probe1Slope;

  click("cmdMeasure_0");
  EXPECT_EQ(message(),
            "The pH channel is off: switch on pH reading in the main window, then measure.");
  EXPECT_EQ(rowState(0), "not measured");
  EXPECT_FALSE(in<QPushButton>("cmdAccept_0")->isEnabled());

  m_state.phReadEnabled = true;
  in<QLineEdit>("txtBufferTemp")->setText("120");
  click("cmdMeasure_0");
  EXPECT_EQ(message(), "The buffer temperature, 120 °C, is outside 0 to 100 °C.");
  EXPECT_FALSE(in<QPushButton>("cmdAccept_0")->isEnabled());
  in<QLineEdit>("txtBufferTemp")->setText("25");

  in<QComboBox>("cmbTempSource")->setCurrentIndex(2);
  click("cmdMeasure_0");
  EXPECT_EQ(message(), "The thermistor channel is off: switch it on in the main window, or take "
                       "the temperature from elsewhere.");
  // With the channel on, the chosen thermistor's reading, without the display offset.
  m_state.thermReadEnabled = true;
  m_state.therm1Temp = 21;
  m_state.therm2Temp = 31.5;
  m_state.therm2Offset = 2;
  m_state.therm3Temp = 23;
  in<QComboBox>("cmbTempSource")->setCurrentIndex(3);
  EXPECT_EQ(in<QLabel>("lblTempNow")->text(), "now 31.50 °C");
  in<QComboBox>("cmbTempSource")->setCurrentIndex(1);

  // Refused before measuring: buffer set (0 typed), temperature, typed pH, row.
  struct Refused {
    int set;
    const char *celsius;
    const char *ph;
    int row;
    const char *message;
  };
  const Refused refused[] = {
      {0, "25", "seven", 0, "The pH of buffer 1, \"seven\", is not a number."},
      {0, "25", "", 0, "Type the pH of buffer 1."},
      {0, "warm", "7", 0, "The buffer temperature \"warm\" is not a number."},
      {0, "-1", "7", 0, "The buffer temperature, -1 °C, is outside 0 to 100 °C."},
      {1, "70", "", 2,
       "The table of buffer 3 (pH 10.01) covers 0 to 60 °C, not 70 °C: choose \"Typed values\" "
       "and type its pH."},
      {3, "25", "", 2, "The set 6.86 / 9.18 has no buffer 3."},
  };
  for (const Refused &r : refused) {
    in<QComboBox>("cmbBufferSet")->setCurrentIndex(r.set);
    in<QLineEdit>("txtBufferTemp")->setText(r.celsius);
    if (r.set == 0)
      in<QLineEdit>("txtBufferPh_0")->setText(r.ph);
    click(QString("cmdMeasure_%1").arg(r.row));
    EXPECT_EQ(message().toStdString(), r.message);
    EXPECT_FALSE(in<QPushButton>(QString("cmdAccept_%1").arg(r.row))->isEnabled());
  }
  in<QComboBox>("cmbBufferSet")->setCurrentIndex(0);
  in<QLineEdit>("txtBufferTemp")->setText("25");
  in<QLineEdit>("txtBufferPh_0")->setText("7");

  // Switched off, and a reading that is not a number, while measuring.
  click("cmdMeasure_0");
  EXPECT_EQ(message(), "");
  m_state.phReadEnabled = false;
  EXPECT_TRUE(waitFor([&] { return !message().isEmpty(); }));
  EXPECT_EQ(message(), "The pH channel was switched off while buffer 1 was measured: nothing was "
                       "taken. Switch it on and measure again.");
  EXPECT_EQ(rowState(0), "not measured");
  m_state.phReadEnabled = true;
  click("cmdMeasure_0");
  m_state.ph1mV = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(waitFor([&] { return !message().isEmpty(); }));
  EXPECT_EQ(message(), "Probe 1 gave a millivolt reading that is not a number while buffer 1 was "
                       "measured: nothing was taken.");
  EXPECT_EQ(rowState(0), "not measured");

  // Buffers typed twice, or too close: measured, but no result.
  in<QLineEdit>("txtBufferPh_1")->setText("7.0");
  measureAt(0, 2577.7);
  measureAt(1, 2577.7);
  EXPECT_EQ(message(), "Buffers 1 and 2 are both pH 7.00: use each buffer once.");
  EXPECT_FALSE(in<QPushButton>("cmdApply")->isEnabled());
  in<QLineEdit>("txtBufferPh_1")->setText("6.5");
  EXPECT_EQ(message(), "Buffers 1 and 2 (pH 7.00 and 6.50) are less than 1 pH apart: use buffers "
                       "at least 1 pH apart.");
  EXPECT_FALSE(in<QPushButton>("cmdApply")->isEnabled());
  EXPECT_EQ(in<QLabel>("lblFit")->text(), "");

  in<QPushButton>("cmdApply")->click(); // disabled: does nothing
  EXPECT_EQ(m_state.probe1Offset, offset);
  EXPECT_EQ(m_state.probe1Slope, slope);
  EXPECT_EQ(m_cal->findChild<QLineEdit *>("txtOffset")->text(), "2.5777");
}

TEST_F(BufferAssistant, ResultGoesOnlyToItsOwnProbeAndCancelChangesNothing) {
  m_cal->findChild<QRadioButton *>("Option1_1")->click();
  openAssistant();
  EXPECT_EQ(m_assistant->probe(), 2);
  EXPECT_EQ(m_assistant->windowTitle(), "Calibrate Probe 2 from Buffers");
  m_state.phReadEnabled = true;
  typeBuffers("4", "9.5");
  // A probe whose slope is 15 % above its present 4.5427: shown with a warning.
  measureAt(0, millivoltsOf(2.6, 5.224, 4, 25));
  measureAt(1, millivoltsOf(2.6, 5.224, 9.5, 25));
  EXPECT_EQ(message(), "");
  EXPECT_EQ(in<QLabel>("lblFit")->text(), "Offset 2.6 V    Slope 5.224    Worst residual 0.000 pH");
  EXPECT_EQ(in<QLabel>("lblWarning")->text(),
            "The slope differs from the probe's present slope, 4.5427, by more than 10 %.");
  EXPECT_TRUE(in<QPushButton>("cmdApply")->isEnabled());

  const QDate date = m_state.probe2CalDate;
  m_cal->findChild<QRadioButton *>("Option1_0")->click();
  click("cmdApply");
  EXPECT_EQ(message(), "Probe 2 is no longer the probe selected in \"pH Calibration\": select it "
                       "there, then apply.");
  EXPECT_TRUE(m_assistant->isVisible());
  EXPECT_EQ(m_state.probe2Offset, 2.5777);
  EXPECT_EQ(m_state.probe2Slope, 4.5427);
  EXPECT_EQ(m_state.probe1Offset, 2.5777);
  EXPECT_EQ(m_cal->findChild<QLineEdit *>("txtOffset")->text(), "2.5777");

  m_cal->findChild<QRadioButton *>("Option1_1")->click();
  click("cmdCancel");
  EXPECT_FALSE(m_assistant->isVisible());
  EXPECT_EQ(m_state.probe2Offset, 2.5777);
  EXPECT_EQ(m_state.probe2Slope, 4.5427);
  EXPECT_EQ(m_state.probe2CalDate, date);
  EXPECT_EQ(m_cal->findChild<QLineEdit *>("txtSlope")->text(), "4.5427");
}

} // namespace
