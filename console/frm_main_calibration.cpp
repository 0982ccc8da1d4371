// The calibration history's menu item and the "calibration due" marks of the main window.
#include "console/frm_main.h"

#include "calibration/due_watch.h"
#include "calibration/frm_cal_history.h"
#include "console/due_marks.h"
#include "publish/mqtt_publisher.h"
#include "state/quantities.h"

#include <QLabel>
#include <QMenu>
#include <QStatusBar>

void frmMain::connectCalibrationRecords() {
  // After the menu's own items.
  QAction *history = m_mnuCal->addAction(QStringLiteral("Calibration &History…"));
  history->setObjectName(QStringLiteral("mnuCalHistory"));
  connect(history, &QAction::triggered, this, [this] {
    if (m_calHistory)
      m_calHistory->refresh();
    else
      m_calHistory = new frmCalHistory(this);
    m_calHistory->show();
    m_calHistory->raise();
    m_calHistory->activateWindow();
  });
}

void frmMain::startCalibrationDue() {
  if (!m_dueWatch) {
    m_dueWatch = new calibration::DueWatch(m_state, &QDate::currentDate, this);
    connect(m_dueWatch, &calibration::DueWatch::dueChanged, this, &frmMain::showCalibrationDue);
  }
  m_dueWatch->check();
  showCalibrationDue();
}

void frmMain::showCalibrationDue() {
  if (!m_dueMarks) {
    std::array<std::vector<QLabel *>, 2> displays;
    for (const state::ProbeInfo &probe : state::probes) {
      const int k = static_cast<int>(probe.pHQuantity);
      displays[probe.number - 1] = {m_displays[k], m_correctedDisplays[k]};
    }
    m_dueMarks = std::make_unique<console::DueMarks>(displays);
  }
  for (int probe = 1; probe <= 2; ++probe) {
    const bool due = m_dueWatch->isDue(probe);
    m_dueMarks->show(probe, due);
    if (m_publisher)
      m_publisher->setCalibrationDue(probe, due);
  }
  statusBar()->setToolTip(m_dueWatch->description());
}
