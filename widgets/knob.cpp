#include "widgets/knob.h"

#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace widgets {

namespace {

// QDial without wrapping turns through 300 degrees: from 240 degrees (lower left, the minimum)
// clockwise over the top to -60 degrees (lower right, the maximum), angles counted
// anticlockwise from the right with y pointing up. Painting uses the same mapping so that a
// drag puts the pointer under the mouse.
double angleOf(double fraction) { return (8.0 - 10.0 * fraction) * std::numbers::pi / 6.0; }

QPointF onCircle(const QPointF &centre, double radius, double angle) {
  return centre + QPointF(std::cos(angle) * radius, -std::sin(angle) * radius);
}

int labelStep(int span) {
  for (int step : {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000})
    if (span / step <= 6)
      return step;
  return std::max(1, span / 6);
}

} // namespace

Knob::Knob(int minimum, int maximum, const QString &caption, QWidget *parent)
    : QDial(parent), m_caption(caption) {
  setRange(minimum, maximum);
  setWrapping(false);
  setNotchesVisible(true);
  setSingleStep(1);
  setPageStep(std::max(1, (maximum - minimum) / 10));
  setTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(caption);
}

QString Knob::caption() const { return m_caption; }

QSize Knob::sizeHint() const {
  const QFontMetrics fm(font());
  return {110, 110 + 2 * fm.height()};
}

QSize Knob::minimumSizeHint() const {
  const QFontMetrics fm(font());
  return {64, 64 + 2 * fm.height()};
}

void Knob::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const QPointF centre(width() / 2.0, height() / 2.0);

  // The caption takes a line at the top; the same height is left free at the bottom so that the
  // knob stays centred on the widget.
  const double captionHeight = fm.height() + 2.0;
  QFont captionFont = font();
  captionFont.setBold(true);
  painter.setFont(captionFont);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(QRectF(0, 0, width(), captionHeight), Qt::AlignCenter, m_caption);
  painter.setFont(font());

  const double labelRoom = std::max(fm.horizontalAdvance(locale().toString(minimum())),
                                    fm.horizontalAdvance(locale().toString(maximum()))) +
                           4.0;
  // The numbers stand outside the scale, the top one below the caption.
  const double outer = std::max(
      8.0, std::min(width() / 2.0 - labelRoom - 1.0,
                    height() / 2.0 - captionHeight - labelRoom / 2.0 - fm.height() / 2.0 - 1.0));
  const double body = outer * 0.72;
  const int span = maximum() - minimum();
  const auto fractionOf = [&](int value) {
    return span == 0 ? 0.0 : double(value - minimum()) / span;
  };

  // Scale: a notch per step where they fit, a longer tick and a number at round values.
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  const int step = labelStep(span);
  const bool everyNotch = span > 0 && span <= 60;
  for (int value = minimum(); value <= maximum(); ++value) {
    const bool labelled = (value - minimum()) % step == 0 || value == maximum();
    if (!labelled && !everyNotch)
      continue;
    const double angle = angleOf(fractionOf(value));
    const double inner = labelled ? outer - 7.0 : outer - 4.0;
    painter.drawLine(onCircle(centre, inner, angle), onCircle(centre, outer, angle));
    if (labelled) {
      const QString text = locale().toString(value);
      const QPointF at = onCircle(centre, outer + labelRoom / 2.0 + 1.0, angle);
      painter.drawText(
          QRectF(at.x() - labelRoom / 2.0, at.y() - fm.height() / 2.0, labelRoom, fm.height()),
          Qt::AlignCenter, text);
    }
    if (span == 0)
      break;
  }

  // Body and pointer.
  QRadialGradient gradient(centre - QPointF(body / 3.0, body / 3.0), body * 1.6);
  const QColor base = palette().color(QPalette::Button);
  gradient.setColorAt(0, base.lighter(125));
  gradient.setColorAt(1, base.darker(135));
  painter.setPen(
      QPen(hasFocus() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Shadow),
           hasFocus() ? 2.0 : 1.0));
  painter.setBrush(gradient);
  painter.drawEllipse(centre, body, body);

  const double angle = angleOf(fractionOf(sliderPosition()));
  painter.setPen(
      QPen(isEnabled() ? QColor(0x20, 0x20, 0x20) : Qt::gray, 3.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(onCircle(centre, body * 0.25, angle), onCircle(centre, body * 0.9, angle));
}

} // namespace widgets
