// A two-buffer calibration through the real windows: the simulated modules on the real clock,
// the main window's read cycle storing their millivolts, the calibration dialog and its buffer
// assistant, and the settings store. With BRELLIS_SCREENSHOT set, the assistant is saved to that
// file after both buffers are measured.
#include "buffer_cal_wait.h"
#include "calibration/frm_buffer_cal.h"
#include "calibration/frm_cal.h"
#include "common/number_text.h"
#include "console/frm_main.h"
#include "temp_store.h"
#include "tests/support/recorders.h"
#include "tests/support/simulated_window.h"
#include "widgets/two_state_switch.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace {

using LiveBufferCalibration = TempStore;

TEST_F(LiveBufferCalibration, TwoBuffersMeasuredFromTheModulesAreAppliedAndSaved) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  // The probe in the buffers: 7.00 and 4.01 at 25 °C, as the technical set's table gives them.
  constexpr double offset = 2.4912;
  constexpr double slope = 4.4;
  const auto millivolts = [](double ph) {
    return 1000 * (offset + 0.000198416 * slope * (25 + 273.15) * (ph - 7));
  };
  // What the module sends: two decimals.
  const auto sent = [&](double ph) { return std::round(millivolts(ph) * 100) / 100; };

  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 3);
  frmMain &window = rig.window;
  sim::DghModules &modules = rig.modules;
  ASSERT_TRUE(window.load());
  const AcquisitionState &state = window.state();
  modules.pinReading('6', millivolts(4.01));
  window.findChild<widgets::TwoStateSwitch *>("cwbPh")->setChecked(true);

  window.findChild<QAction *>("mnuPhCal")->trigger();
  auto *cal = window.findChild<frmCal *>("frmCal");
  ASSERT_TRUE(cal);
  cal->findChild<QLineEdit *>("txtCalTemp")->setText("25");
  cal->findChild<QPushButton *>("cmdBufferCal")->click();
  auto *assistant = cal->findChild<frmBufferCal *>("frmBufferCal");
  ASSERT_TRUE(assistant);
  EXPECT_EQ(assistant->probe(), 1);
  assistant->setSettlingTime(1500);
  assistant->findChild<QComboBox *>("cmbBufferSet")->setCurrentIndex(1); // 4.01 / 7.00 / 10.01
  EXPECT_EQ(assistant->findChild<QLineEdit *>("txtBufferPh_0")->text(), "4.01");
  EXPECT_EQ(assistant->findChild<QLineEdit *>("txtBufferPh_1")->text(), "7.00");
  const auto label = [&](const QString &name) {
    return assistant->findChild<QLabel *>(name)->text();
  };

  const auto measure = [&](int row, double ph) {
    modules.pinReading('6', millivolts(ph));
    ASSERT_TRUE(waitFor([&] { return state.ph1mV == sent(ph); })) << state.ph1mV;
    assistant->findChild<QPushButton *>(QString("cmdMeasure_%1").arg(row))->click();
    ASSERT_TRUE(waitFor([&] { return label(QString("lblState_%1").arg(row)) == "✔ stable"; }))
        << label(QString("lblState_%1").arg(row)).toStdString()
        << label("lblMessage").toStdString();
    EXPECT_EQ(label(QString("lblMv_%1").arg(row)), QString::number(sent(ph), 'f', 2));
    EXPECT_EQ(label(QString("lblDrift_%1").arg(row)), "0.00");
  };
  measure(0, 4.01);
  measure(1, 7.00);
  EXPECT_EQ(label("lblMessage"), "");
  EXPECT_EQ(label("lblWarning"), "");
  EXPECT_EQ(label("lblBufferAt_0"), "4.010 at 25.0 °C");
  EXPECT_TRUE(label("lblFit").startsWith("Offset 2.4912 V    Slope 4.4"))
      << label("lblFit").toStdString();
  EXPECT_TRUE(rig.messages.shown.empty());

  const QString shot = qEnvironmentVariable("BRELLIS_SCREENSHOT");
  if (!shot.isEmpty()) {
    cal->show();
    assistant->show();
    QCoreApplication::processEvents();
    assistant->grab().save(shot);
    if (!qEnvironmentVariableIsEmpty("BRELLIS_SCREENSHOT_CAL"))
      cal->grab().save(qEnvironmentVariable("BRELLIS_SCREENSHOT_CAL"));
  }

  assistant->findChild<QPushButton *>("cmdApply")->click();
  EXPECT_FALSE(assistant->isVisible());
  const QString offsetText = cal->findChild<QLineEdit *>("txtOffset")->text();
  const QString slopeText = cal->findChild<QLineEdit *>("txtSlope")->text();
  EXPECT_NEAR(state.probe1Offset, offset, 2e-6) << offsetText.toStdString();
  EXPECT_NEAR(state.probe1Slope, slope, 5e-5) << slopeText.toStdString();
  EXPECT_EQ(common::generalNumber(state.probe1Offset), offsetText);
  EXPECT_EQ(common::generalNumber(state.probe1Slope), slopeText);
  EXPECT_EQ(cal->findChild<QDateEdit *>("DTPicker1")->date(), QDate::currentDate());
  EXPECT_EQ(state.probe1CalDate, QDate::currentDate());
  // The next readings use the new values: the pH 7.00 buffer now reads 7.
  EXPECT_TRUE(waitFor([&] { return state.ph1Value == 7; })) << state.ph1Value;

  cal->findChild<QPushButton *>("Command1")->click();
  const calibration::ProbeTexts saved = calibration::readProbeCoefficients(1);
  EXPECT_EQ(saved.offset, offsetText);
  EXPECT_EQ(saved.slope, slopeText);
  EXPECT_EQ(calibration::readCoefficientDate(saved.date), QDate::currentDate());
  EXPECT_TRUE(rig.messages.shown.empty());
}

} // namespace
