// The calibration history's menu item and the "calibration due" marks of the main window.
#include "console/frm_main.h"

#include "calibration/due_watch.h"
#include "calibration/frm_cal_history.h"
#include "console/display_description.h"
#include "publish/mqtt_publisher.h"
#include "state/quantities.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace {

// "calibration due" hanging from the bottom edge of a pH display, at its right: the display is
// too small to hold it beside the caption or the digits, so it sits on the display's bottom
// border and the space below, covering neither. It belongs to the display's own parent and
// follows the display's place and size.
class DueMark : public QLabel {
public:
  explicit DueMark(QLabel *reading)
      : QLabel(QStringLiteral("calibration due"), reading->parentWidget()->parentWidget()),
        m_display(reading->parentWidget()) {
    setObjectName(reading->objectName() + QStringLiteral("CalDue"));
    setStyleSheet(QStringLiteral("color: black; background: #ffb000; padding: 0 2px;"));
    QFont small = font();
    small.setPointSize(7);
    small.setBold(true);
    setFont(small);
    adjustSize();
    m_display->installEventFilter(this);
    place();
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
      place();
    return QLabel::eventFilter(watched, event);
  }

private:
  void place() {
    const QPoint bottomRight =
        m_display->mapTo(parentWidget(), QPoint(m_display->width(), m_display->height()));
    // Over the frame's margin and border (4 px), the rest below the display.
    move(bottomRight.x() - width() - 2, bottomRight.y() - 4);
    raise();
  }

  QWidget *m_display;
};

} // namespace

void frmMain::connectCalibrationRecords() {
  // After the menu's own items.
  QMenu *menu = findChild<QMenu *>(QStringLiteral("mnuCal"));
  QAction *history = menu->addAction(QStringLiteral("Calibration &History…"));
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
  const QString description = m_dueWatch->description();
  for (int probe = 1; probe <= 2; ++probe) {
    const bool due = m_dueWatch->isDue(probe);
    const state::QuantityInfo &ph =
        state::info(probe == 1 ? state::Quantity::Ph1 : state::Quantity::Ph2);
    for (const char *name : {ph.display, ph.adjustedDisplay}) {
      auto *reading = findChild<QLabel *>(QLatin1String(name));
      if (!reading)
        continue;
      auto *mark = findChild<QLabel *>(QLatin1String(name) + QStringLiteral("CalDue"));
      if (!mark && due)
        mark = new DueMark(reading);
      if (mark)
        mark->setVisible(due);
      console::describeDisplay(reading, console::calibrationDuePart,
                               due ? QStringLiteral("Calibration due for probe %1").arg(probe)
                                   : QString());
    }
    if (m_publisher)
      m_publisher->setCalibrationDue(probe, due);
  }
  statusBar()->setToolTip(description);
}
