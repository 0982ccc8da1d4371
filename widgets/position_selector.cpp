#include "widgets/position_selector.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace widgets {

namespace {

constexpr double thumbLength = 14.0; // along the slot
constexpr double thumbDepth = 20.0;  // across the slot
constexpr double gap = 4.0;

} // namespace

PositionSelector::PositionSelector(int first, const QStringList &labels,
                                   Qt::Orientation orientation, QWidget *parent)
    : QAbstractSlider(parent), m_labels(labels) {
  setOrientation(orientation);
  setRange(first, first + std::max<int>(0, int(labels.size()) - 1));
  setSingleStep(1);
  setPageStep(1);
  setValue(first);
  setFocusPolicy(Qt::StrongFocus);
  QStringList named;
  for (const QString &label : labels)
    if (!label.isEmpty())
      named << label;
  setAccessibleName(named.join(QStringLiteral(" / ")));
  if (orientation == Qt::Horizontal)
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  else
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

QStringList PositionSelector::labels() const { return m_labels; }

QSize PositionSelector::sizeHint() const {
  const QFontMetrics fm(font());
  int widest = 0;
  for (const QString &label : m_labels)
    widest = std::max(widest, fm.horizontalAdvance(label));
  const int positions = std::max<int>(1, int(m_labels.size()));
  if (orientation() == Qt::Horizontal)
    return {std::max(positions * (widest + 12), 60), int(thumbDepth + gap) + fm.height() + 4};
  return {int(thumbDepth + gap) + widest + 6, std::max(positions * (fm.height() + 10), 50)};
}

QSize PositionSelector::minimumSizeHint() const { return sizeHint(); }

// The slot's centre line: x from left to right end for a horizontal selector, or a vertical line
// for a vertical one, as a degenerate rectangle.
QRectF PositionSelector::trackRect() const {
  const QFontMetrics fm(font());
  if (orientation() == Qt::Horizontal) {
    double margin = thumbLength / 2.0 + 2.0;
    if (!m_labels.isEmpty())
      margin = std::max({margin, fm.horizontalAdvance(m_labels.first()) / 2.0 + 2.0,
                         fm.horizontalAdvance(m_labels.last()) / 2.0 + 2.0});
    const double y = 2.0 + thumbDepth / 2.0;
    return QRectF(QPointF(margin, y), QPointF(width() - margin, y));
  }
  const double margin = std::max(thumbLength / 2.0, fm.height() / 2.0) + 2.0;
  const double x = 2.0 + thumbDepth / 2.0;
  return QRectF(QPointF(x, margin), QPointF(x, height() - margin));
}

QPointF PositionSelector::pointOf(int position) const {
  const QRectF track = trackRect();
  const int span = maximum() - minimum();
  double fraction = span == 0 ? 0.0 : double(position - minimum()) / span;
  if (orientation() == Qt::Horizontal) {
    if (invertedAppearance())
      fraction = 1.0 - fraction;
    return {track.left() + fraction * track.width(), track.top()};
  }
  if (invertedAppearance())
    fraction = 1.0 - fraction;
  return {track.left(), track.bottom() - fraction * track.height()};
}

int PositionSelector::positionAt(const QPointF &point) const {
  int best = minimum();
  double bestDistance = -1.0;
  for (int position = minimum(); position <= maximum(); ++position) {
    const QPointF at = pointOf(position);
    const double distance = orientation() == Qt::Horizontal ? std::abs(point.x() - at.x())
                                                            : std::abs(point.y() - at.y());
    if (bestDistance < 0.0 || distance < bestDistance) {
      best = position;
      bestDistance = distance;
    }
  }
  return best;
}

void PositionSelector::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  setFocus(Qt::MouseFocusReason);
  setValue(positionAt(event->position()));
  event->accept();
}

void PositionSelector::mouseMoveEvent(QMouseEvent *event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    event->ignore();
    return;
  }
  setValue(positionAt(event->position()));
  event->accept();
}

void PositionSelector::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const bool horizontal = orientation() == Qt::Horizontal;
  const QRectF track = trackRect();

  // Slot.
  painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
  painter.setBrush(palette().color(QPalette::Dark));
  const QRectF slot = track.adjusted(-3, -3, 3, 3);
  painter.drawRoundedRect(slot, 3, 3);

  // Detents and labels.
  for (int position = minimum(); position <= maximum(); ++position) {
    const QPointF at = pointOf(position);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    const double half = thumbDepth / 2.0;
    if (horizontal)
      painter.drawLine(at + QPointF(0, half - 3), at + QPointF(0, half + 1));
    else
      painter.drawLine(at + QPointF(half - 3, 0), at + QPointF(half + 1, 0));
    const int index = position - minimum();
    if (index >= m_labels.size() || m_labels.at(index).isEmpty())
      continue;
    const QString &label = m_labels.at(index);
    QFont labelFont = font();
    labelFont.setBold(position == value());
    painter.setFont(labelFont);
    const double labelWidth = QFontMetrics(labelFont).horizontalAdvance(label) + 4.0;
    const QRectF box =
        horizontal
            ? QRectF(at.x() - labelWidth / 2.0, at.y() + half + gap, labelWidth, fm.height())
            : QRectF(at.x() + half + gap, at.y() - fm.height() / 2.0, labelWidth, fm.height());
    painter.drawText(box, (horizontal ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter,
                     label);
  }
  painter.setFont(font());

  // Thumb.
  const QPointF at = pointOf(sliderPosition());
  const QRectF thumb =
      horizontal
          ? QRectF(at.x() - thumbLength / 2.0, at.y() - thumbDepth / 2.0, thumbLength, thumbDepth)
          : QRectF(at.x() - thumbDepth / 2.0, at.y() - thumbLength / 2.0, thumbDepth, thumbLength);
  QLinearGradient gradient(thumb.topLeft(), thumb.bottomRight());
  const QColor base = palette().color(QPalette::Button);
  gradient.setColorAt(0, base.lighter(120));
  gradient.setColorAt(1, base.darker(120));
  painter.setPen(
      QPen(hasFocus() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Shadow),
           hasFocus() ? 2.0 : 1.0));
  painter.setBrush(gradient);
  painter.drawRoundedRect(thumb, 2, 2);
  painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
  if (horizontal)
    painter.drawLine(QPointF(at.x(), thumb.top() + 4), QPointF(at.x(), thumb.bottom() - 4));
  else
    painter.drawLine(QPointF(thumb.left() + 4, at.y()), QPointF(thumb.right() - 4, at.y()));
}

} // namespace widgets
