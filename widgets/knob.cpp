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

// The numbers stand on a circle round the scale. A round step of 1, 2, 5, 10 ... 1000 that leaves
// at least `room` pixels of arc for each number, and never more than six intervals.
int labelStep(int span, double labelRadius, double room) {
  const double arc = labelRadius * 5.0 * std::numbers::pi / 3.0;
  for (int step : {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000})
    if (span / step <= 6 && (span / step == 0 || arc / (span / step) >= room))
      return step;
  return std::max(1, span);
}

// The scale's radius that fits a widget of the given size: the numbers need labelRoom outside
// it at the sides and a line above; below, the numbers at the scale's ends and the caption under
// them must stay inside. sin(60 degrees) is where the ends lie.
double scaleRadius(double width, double height, double labelRoom, double lineHeight) {
  const double sin60 = std::sqrt(3.0) / 2.0;
  const double numbersOutside = labelRoom / 2.0 + 1.0; // from the scale to the numbers' centres
  const double bySides = width / 2.0 - labelRoom - 2.0;
  const double byTop = height / 2.0 - numbersOutside - lineHeight / 2.0 - 1.0;
  const double byBottom = (height / 2.0 - 1.5 * lineHeight - 2.0) / sin60 - numbersOutside;
  return std::max(8.0, std::min({bySides, byTop, byBottom}));
}

// The radius the knob is laid out for: a body of about 45 pixels and numbers that do not crowd.
constexpr double designRadius = 31.0;

double labelRoomOf(const QFontMetrics &fm, const QLocale &locale, int minimum, int maximum) {
  return std::max(fm.horizontalAdvance(locale.toString(minimum)),
                  fm.horizontalAdvance(locale.toString(maximum))) +
         4.0;
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
  // Every knob is drawn at its size hint, so knobs with the same scale look the same.
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAccessibleName(caption);
}

QString Knob::caption() const { return m_caption; }

QSize Knob::sizeHint() const {
  // The smallest size whose scale has the design radius: every knob of the window reads alike.
  const QFontMetrics fm(font());
  const double labelRoom = labelRoomOf(fm, locale(), minimum(), maximum());
  const double sin60 = std::sqrt(3.0) / 2.0;
  const double labelRadius = designRadius + labelRoom / 2.0 + 1.0;
  const int width = static_cast<int>(std::ceil(2.0 * (designRadius + labelRoom + 2.0)));
  const int height =
      static_cast<int>(std::ceil(2.0 * std::max(labelRadius + fm.height() / 2.0 + 1.0,
                                                sin60 * labelRadius + 1.5 * fm.height() + 2.0)));
  return {width, height};
}

QSize Knob::minimumSizeHint() const { return sizeHint(); }

namespace {

// The knob's body, ringed in the highlight colour while it has the focus, and its pointer at
// angle.
void drawBodyAndPointer(QPainter &painter, const QPalette &palette, QPointF centre, double body,
                        double angle, bool focused, bool enabled) {
  QRadialGradient gradient(centre - QPointF(body / 3.0, body / 3.0), body * 1.6);
  const QColor base = palette.color(QPalette::Button);
  gradient.setColorAt(0, base.lighter(125));
  gradient.setColorAt(1, base.darker(135));
  painter.setPen(QPen(focused ? palette.color(QPalette::Highlight) : palette.color(QPalette::Shadow),
                      focused ? 2.0 : 1.0));
  painter.setBrush(gradient);
  painter.drawEllipse(centre, body, body);
  painter.setPen(
      QPen(enabled ? QColor(0x20, 0x20, 0x20) : Qt::gray, 3.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(onCircle(centre, body * 0.25, angle), onCircle(centre, body * 0.9, angle));
}

} // namespace

void Knob::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const QPointF centre(width() / 2.0, height() / 2.0);

  const double labelRoom = labelRoomOf(fm, locale(), minimum(), maximum());
  const double outer = scaleRadius(width(), height(), labelRoom, fm.height());
  const double labelRadius = outer + labelRoom / 2.0 + 1.0;
  const double body = outer * 0.72;
  const int span = maximum() - minimum();
  const auto fractionOf = [&](int value) {
    return span == 0 ? 0.0 : double(value - minimum()) / span;
  };

  // Scale: a notch per step where they stand apart, a longer tick and a number at round values.
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  const int step = labelStep(span, labelRadius, labelRoom + 4.0);
  const bool everyNotch = span > 0 && outer * 5.0 * std::numbers::pi / 3.0 / span >= 4.0;
  for (int value = minimum(); value <= maximum(); ++value) {
    const bool labelled = (value - minimum()) % step == 0 || value == maximum();
    if (!labelled && !everyNotch)
      continue;
    const double angle = angleOf(fractionOf(value));
    const double inner = labelled ? outer - 7.0 : outer - 4.0;
    painter.drawLine(onCircle(centre, inner, angle), onCircle(centre, outer, angle));
    if (labelled) {
      const QString text = locale().toString(value);
      const QPointF at = onCircle(centre, labelRadius, angle);
      painter.drawText(
          QRectF(at.x() - labelRoom / 2.0, at.y() - fm.height() / 2.0, labelRoom, fm.height()),
          Qt::AlignCenter, text);
    }
    if (span == 0)
      break;
  }

  // The caption stands in the gap of the scale, under the numbers at its two ends.
  QFont captionFont = font();
  captionFont.setBold(true);
  painter.setFont(captionFont);
  const double captionTop = centre.y() + std::sqrt(3.0) / 2.0 * labelRadius + fm.height() / 2.0;
  painter.drawText(QRectF(0, captionTop, width(), fm.height() + 2.0), Qt::AlignCenter, m_caption);
  painter.setFont(font());

  drawBodyAndPointer(painter, palette(), centre, body, angleOf(fractionOf(sliderPosition())),
                     hasFocus(), isEnabled());
}

} // namespace widgets
