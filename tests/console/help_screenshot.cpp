// Not a test: the main window on the simulated modules with its Help menu open, then the About
// box and the User Guide's answer to F1, drawn from the screen to PNG files for a person to look
// at.
//   xvfb-run -a -s "-screen 0 1366x768x24" env QT_QPA_PLATFORM=xcb help_screenshot PREFIX
#include "console/frm_main.h"
#include "instrument/clock.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

int main(int argc, char **argv) {
  QTemporaryDir config, data;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  QApplication app(argc, argv);
  tiltdgh::SteadyClock clock;
  sim::DghModules modules(1);
  sim::SimulatedBus bus(clock, modules);
  FrmMainServices services;
  services.simulated = true;
  frmMain window(bus, clock, std::move(services));
  if (!window.load())
    return 1;
  window.show();
  window.activateWindow();
  const QString prefix = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("help");
  const auto shoot = [&](const QString &name) {
    QGuiApplication::primaryScreen()->grabWindow(0).save(prefix + name);
  };
  QTest::qWait(1500);

  auto *help = window.findChild<QMenu *>(QStringLiteral("mnuHelp"));
  const QRect entry = window.menuBar()->actionGeometry(help->menuAction());
  help->popup(window.menuBar()->mapToGlobal(entry.bottomLeft()));
  QTest::qWait(700);
  shoot(QStringLiteral("-menu.png"));
  help->hide();

  // The boxes are modal: each is drawn and closed from a timer while it waits.
  const auto whileOpen = [&](const QString &name) {
    QTimer::singleShot(1000, [&, name] {
      shoot(name);
      if (QWidget *box = QApplication::activeModalWidget())
        box->close();
    });
  };
  whileOpen(QStringLiteral("-about.png"));
  window.findChild<QAction *>(QStringLiteral("mnuAbout"))->trigger();
  whileOpen(QStringLiteral("-guide.png"));
  // Without a window manager nothing makes the window active, and a shortcut needs one.
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
  QApplication::setActiveWindow(&window);
#else
  window.windowHandle()->requestActivate();
  QTest::qWait(200);
#endif
  QTest::keyClick(&window, Qt::Key_F1);
  QTest::qWait(1500); // F1 that opened nothing: the timer draws the window as it is
  return 0;
}
