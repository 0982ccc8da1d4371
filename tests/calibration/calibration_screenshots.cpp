// Not a test: draws the calibration windows as an operator sees them, for a person to look at.
//   xvfb-run -a env QT_QPA_PLATFORM=xcb calibration_screenshots OUT_DIR
#include "calibration/calibration_opener.h"
#include "calibration/frm_buffer_cal.h"
#include "calibration/frm_cal_history.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv) {
  QTemporaryDir config, data;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

  AcquisitionState state;
  state.phReadEnabled = true;
  state.thermReadEnabled = true;
  state.ph1ThermSelect = 2;
  state.therm2Temp = 21.7;
  testsupport::RecordingMessages messages;
  calibration::CalibrationOpener opener(state, messages);
  frmCal *cal = opener.open();
  const auto save = [&] { cal->findChild<QPushButton *>("Command1")->click(); };
  cal->findChild<QLineEdit *>("txtOffset")->setText("2.5801");
  cal->findChild<QLineEdit *>("txtCalReason")->setText("weekly check");
  save();
  cal->findChild<QRadioButton *>("Option1_1")->click();
  cal->findChild<QLineEdit *>("txtSlope")->setText("4.48");
  save();
  cal->findChild<QRadioButton *>("Option1_0")->click();

  cal->findChild<QPushButton *>("cmdBufferCal")->click();
  auto *assistant = cal->findChild<frmBufferCal *>("frmBufferCal");
  assistant->findChild<QComboBox *>("cmbBufferSet")->setCurrentIndex(1);
  state.ph1mV = 2577.7 + 177.2 * 2.99; // about pH 4.01 at 21.7 °C for this probe
  assistant->findChild<QPushButton *>("cmdMeasure_0")->click();
  QTest::qWait(1200);
  assistant->findChild<QPushButton *>("cmdAccept_0")->click();
  state.ph1mV = 2577.9;
  assistant->findChild<QPushButton *>("cmdMeasure_1")->click();
  for (int i = 0; i < 12; ++i) {
    state.ph1mV += 0.05;
    QTest::qWait(250);
  }
  assistant->show();
  QTest::qWait(200);
  assistant->grab().save(out + QStringLiteral("/buffer-assistant-measuring.png"));
  cal->grab().save(out + QStringLiteral("/calibration-dialog.png"));
  // Where the dialog's own controls sit, to compare layouts before and after a change beside them.
  for (const char *name : {"Option1_0", "Option1_1", "txtOffset", "txtSlope", "txtSerialNum",
                           "txtCalTemp", "DTPicker1", "CWcal_enable", "Command1"}) {
    const QWidget *control = cal->findChild<QWidget *>(name);
    const QRect at(control->mapTo(cal, QPoint(0, 0)), control->size());
    std::printf("%s %d,%d %dx%d\n", name, at.x(), at.y(), at.width(), at.height());
  }

  auto *history = new frmCalHistory;
  history->show();
  QTest::qWait(200);
  history->grab().save(out + QStringLiteral("/calibration-history.png"));
  delete history;
  delete cal;
  return 0;
}
