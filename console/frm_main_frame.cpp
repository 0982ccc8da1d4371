// What surrounds the main window's four areas: the window's size on the screen it opens on, the
// status bar's panel for simulated modules, and the Help menu.
#include "console/frm_main.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

#ifndef BRELLIS_VERSION
#define BRELLIS_VERSION "unknown"
#endif

namespace {

// The client area's design size; the areas' own minimum wins where it is larger.
constexpr QSize designSize(894, 687);

} // namespace

void frmMain::setScrollingCentralWidget(QWidget *areas) {
  // On a screen smaller than the window the areas scroll; where they fit, neither a frame nor a
  // bar shows and the window looks as without the scroll area.
  auto *scroll = new QScrollArea;
  scroll->setObjectName(QStringLiteral("scrollMain"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(areas);
  setCentralWidget(scroll);
}

void frmMain::fitToScreen(const QRect &available) {
  auto *scroll = qobject_cast<QScrollArea *>(centralWidget());
  if (!scroll || !scroll->widget())
    return;
  // As the window was before its areas could scroll: never smaller than the areas unscrolled.
  const int bars = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  QSize size = designSize.expandedTo(scroll->widget()->minimumSizeHint() + QSize(0, bars));
  // The window manager's title bar and borders, which the window cannot measure before it is
  // first shown.
  const QSize frame(8, 8 + style()->pixelMetric(QStyle::PM_TitleBarHeight));
  const QSize room = (available.size() - frame).expandedTo(QSize(200, 150));
  // A bar that appears takes its breadth from the areas: the other direction grows by as much.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (size.height() > room.height()) {
    size.setHeight(room.height());
    size.rwidth() += bar;
  }
  if (size.width() > room.width()) {
    size.setWidth(room.width());
    size.rheight() += bar;
  }
  resize(size.boundedTo(room));
}

void frmMain::addSimulatedPanel() {
  if (!m_services.simulated)
    return;
  // After the four panels, which keep their places.
  auto *panel = new QLabel(QStringLiteral("Simulated modules"));
  panel->setObjectName(QStringLiteral("PanelSimulated"));
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setStyleSheet(QStringLiteral("QLabel { background: #ffd966; color: black; "
                                      "font-weight: bold; padding: 0 4px; }"));
  panel->setToolTip(QStringLiteral("Started with --simulate: the readings come from simulated "
                                   "DGH modules, not from instruments."));
  statusBar()->addWidget(panel);
}

QString frmMain::userGuidePath() {
  // Installed beside the program as <prefix>/share/doc/brellis for <prefix>/bin/brellis.
  const QString beside = QDir::cleanPath(
      QDir(QCoreApplication::applicationDirPath()).filePath("../share/doc/brellis/README.md"));
  return QFileInfo::exists(beside) ? beside : QStringLiteral("/usr/share/doc/brellis/README.md");
}

QString frmMain::aboutText() {
  return QStringLiteral("Brellis %1\n"
                        "Monitor and recorder for pH, temperature and flow on DGH serial "
                        "modules.\n\n"
                        "Licence: GPL-3.0-or-later, the GNU General Public License, version 3 or "
                        "any later version. Brellis comes with no warranty.\n"
                        "Source: Brellis is free software; its source, and the terms in full, "
                        "come with the package (/usr/share/doc/brellis/copyright) and from its "
                        "maintainers.\n\n"
                        "Qt %2 (built with Qt %3).")
      .arg(QLatin1String(BRELLIS_VERSION), QLatin1String(qVersion()),
           QLatin1String(QT_VERSION_STR));
}

void frmMain::buildHelpMenu() {
  // The last menu of the bar: the alarms' menu goes in after "Comm Port", before this one.
  QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  QAction *guide = help->addAction(QStringLiteral("&User Guide"));
  guide->setObjectName(QStringLiteral("mnuUserGuide"));
  guide->setShortcut(QKeySequence::HelpContents);
  guide->setShortcutContext(Qt::ApplicationShortcut);
  connect(guide, &QAction::triggered, this, [this] {
    const QString path = userGuidePath();
    if (!QFileInfo::exists(path)) {
      showMessage(QStringLiteral("The user guide is the file %1, which is not on this computer: "
                                 "it comes with the brellis package, and is README.md in the "
                                 "source.")
                      .arg(path),
                  QStringLiteral("User Guide"));
      return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
      showMessage(QStringLiteral("The user guide is the file %1. No program is set to open it "
                                 "here: open it in a text editor or a Markdown viewer.")
                      .arg(path),
                  QStringLiteral("User Guide"));
  });
  QAction *about = help->addAction(QStringLiteral("&About Brellis"));
  about->setObjectName(QStringLiteral("mnuAbout"));
  connect(about, &QAction::triggered, this,
          [this] { showMessage(aboutText(), QStringLiteral("About Brellis")); });
}
