// Not a test: the main window on the simulated modules with probe 1's calibration due, drawn to a
// PNG file for a person to look at.
//   xvfb-run -a env QT_QPA_PLATFORM=xcb due_mark_screenshot OUT.png [WIDTHxHEIGHT [both]]
// WIDTHxHEIGHT sizes the window; "both" makes probe 2 due as well.
#include "calibration/calibration_store.h"
#include "instrument/clock.h"
#include "tests/support/simulated_window.h"
#include "widgets/two_state_switch.h"

#include <QApplication>
#include <QLabel>
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
    // Probe 1 calibrated eight days ago, past its interval of seven; probe 2 today.
    AcquisitionState stored;
    calibration::loadCoefficients(stored);
    stored.probe1CalDate = QDate::currentDate().addDays(-8);
    const bool both = argc > 3 && QByteArray(argv[3]) == "both";
    stored.probe2CalDate = QDate::currentDate().addDays(both ? -8 : 0);
    calibration::saveProbeCoefficients(stored, 1);
    calibration::saveProbeCoefficients(stored, 2);
  }
  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 3);
  if (!rig.window.load())
    return 1;
  rig.window.findChild<widgets::TwoStateSwitch *>("cwbPh")->setChecked(true);
  if (argc > 2) {
    const QList<QByteArray> size = QByteArray(argv[2]).split('x');
    if (size.size() == 2)
      rig.window.resize(size[0].toInt(), size[1].toInt());
  }
  rig.window.show();
  QTest::qWait(3000); // readings on the displays, and the alarm view's redraws past
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("due.png");
  rig.window.grab().save(out);
  // Probe 1's two pH displays, three times their size, to see what the mark leaves readable.
  const auto *raw = rig.window.findChild<QLabel *>("lblpH");
  const auto *corrected = rig.window.findChild<QLabel *>("lblpH1WOS");
  const QRect displays(
      raw->mapTo(&rig.window, QPoint(0, 0)),
      corrected->mapTo(&rig.window, QPoint(corrected->width(), corrected->height())));
  const QPixmap detail = rig.window.grab(displays);
  detail.scaled(detail.size() * 3)
      .save(QString(out).replace(QStringLiteral(".png"), QStringLiteral("-detail.png")));
  std::printf("status bar tool tip: %s\nlblpH description: %s\n",
              qPrintable(rig.window.statusBar()->toolTip()),
              qPrintable(rig.window.findChild<QLabel *>("lblpH")->accessibleDescription()));
  return 0;
}
