#include "console/due_marks.h"

#include "console/display_description.h"

#include <QEvent>

#include <algorithm>

namespace console {
namespace {

// Over the display frame's margin and border, in pixels; the rest of a mark lies below.
constexpr int onBorder = 4;

void styleMark(QLabel *mark) {
  mark->setStyleSheet(QStringLiteral("color: black; background: #ffb000; padding: 0 2px;"));
  QFont small = mark->font();
  small.setPointSize(7);
  small.setBold(true);
  mark->setFont(small);
  mark->adjustSize();
}

// "calibration due" hanging from the bottom edge of a pH display, at its right: the display is
// too small to hold it beside the caption or the digits, so it sits on the display's bottom
// border and the space below, covering neither. It belongs to the display's own parent and
// follows the display's place and size; the parent leaves DueMarks::overhang() below it.
class DueMark : public QLabel {
public:
  explicit DueMark(QLabel *reading)
      : QLabel(QStringLiteral("calibration due"), reading->parentWidget()->parentWidget()),
        m_display(reading->parentWidget()) {
    setObjectName(reading->objectName() + QStringLiteral("CalDue"));
    styleMark(this);
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
    move(bottomRight.x() - width() - 2, bottomRight.y() - onBorder);
    raise();
  }

  QWidget *m_display;
};

} // namespace

int DueMarks::overhang() {
  QLabel mark(QStringLiteral("calibration due"));
  styleMark(&mark);
  return std::max(0, mark.height() - onBorder);
}

DueMarks::DueMarks(std::array<std::vector<QLabel *>, 2> displays) {
  for (int p = 0; p < 2; ++p)
    for (QLabel *display : displays[p])
      if (display)
        m_probes[p].push_back({display});
}

void DueMarks::show(int probe, bool due) {
  if (probe != 1 && probe != 2)
    return;
  for (Marked &marked : m_probes[probe - 1]) {
    if (!marked.mark && due)
      marked.mark = new DueMark(marked.display);
    if (marked.mark)
      marked.mark->setVisible(due);
    describeDisplay(marked.display, calibrationDuePart,
                    due ? QStringLiteral("Calibration due for probe %1").arg(probe) : QString());
  }
}

} // namespace console
