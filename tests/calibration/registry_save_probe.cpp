// Not a test of its own: scripts/check-windows runs it under Wine and then reads the registry.
// The real calibration dialog on the real store, with no folder of the tests' own in between:
// probe 1's offset retyped as 2.6 and "Save" clicked, then probe 2 chosen, its offset retyped as
// 2.55 and saved, as an operator would. Prints what the dialog said, if anything; status 0 when
// nothing was said.
#include "calibration/calibration_opener.h"
#include "calibration/calibration_store.h"
#include "calibration/frm_cal.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  AcquisitionState state;
  calibration::loadCoefficients(state);
  testsupport::RecordingMessages messages;
  calibration::CalibrationOpener opener(state, messages);
  frmCal *dialog = opener.open();
  auto *offset = dialog->findChild<QLineEdit *>(QStringLiteral("txtOffset"));
  auto *save = dialog->findChild<QPushButton *>(QStringLiteral("Command1"));
  auto *probe2 = dialog->findChild<QRadioButton *>(QStringLiteral("Option1_1"));
  if (!offset || !save || !probe2) {
    std::fputs("registry_save_probe: the dialog has no txtOffset, Command1 or Option1_1\n", stderr);
    return 2;
  }
  const auto saveOffset = [&](double value) {
    QTest::keyClick(offset, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(offset, QLocale().toString(value));
    QTest::mouseClick(save, Qt::LeftButton);
  };
  saveOffset(2.6);
  QTest::mouseClick(probe2, Qt::LeftButton);
  saveOffset(2.55);
  for (const auto &shown : messages.shown)
    std::printf("message: %s\n", qPrintable(shown.text));
  std::printf("store: %s\n", qPrintable(calibration::settingsFileName()));
  return messages.shown.empty() ? 0 : 1;
}
