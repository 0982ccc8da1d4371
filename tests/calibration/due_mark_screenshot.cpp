// Not a test: the main window on the simulated modules with probe 1's calibration due, drawn to a
// PNG file for a person to look at.
//   xvfb-run -a env QT_QPA_PLATFORM=xcb due_mark_screenshot OUT.png
#include "instrument/clock.h"
#include "tests/support/simulated_window.h"
#include "widgets/two_state_switch.h"

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char **argv) {
  QTemporaryDir config, data;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  QApplication app(argc, argv);
  {
    // Probe 2 calibrated today, probe 1 long ago.
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
                    QStringLiteral("Quorran Science DGH Driver"));
    store.setValue(QStringLiteral("Coefficients/date2"), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
  }
  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 3);
  if (!rig.window.load())
    return 1;
  rig.window.findChild<widgets::TwoStateSwitch *>("cwbPh")->setChecked(true);
  rig.window.show();
  QTest::qWait(3000);
  rig.window.grab().save(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("due.png"));
  std::printf("status bar tool tip: %s\nlblpH description: %s\n",
              qPrintable(rig.window.statusBar()->toolTip()),
              qPrintable(rig.window.findChild<QLabel *>("lblpH")->accessibleDescription()));
  return 0;
}
