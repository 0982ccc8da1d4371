#include "widgets/slide_gauge.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>

namespace widgets {

namespace {

// Limits beyond which a double would not fit the base class's int in fixed point.
constexpr double unitLimit = (INT_MAX / 2.0) / SlideGauge::unitsPerOne;

int toUnits(double value) {
  return static_cast<int>(
      std::lround(std::clamp(value, -unitLimit, unitLimit) * SlideGauge::unitsPerOne));
}

// The position of value along the axis, 0 at the minimum, 1 at the maximum, clamped; a reversed
// axis (minimum above maximum) runs the other way, an empty one puts everything at 0.
double axisFraction(double value, double minimum, double maximum) {
  const double span = maximum - minimum;
  if (span == 0.0 || !std::isfinite(span))
    return 0.0;
  return std::clamp((value - minimum) / span, 0.0, 1.0);
}

// A tick step of 1, 2 or 5 times a power of ten giving about five intervals over the span.
double tickStep(double span) {
  if (!(span > 0.0) || !std::isfinite(span))
    return 0.0;
  const double raw = span / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double normalised = raw / magnitude;
  const double nice = normalised < 1.5   ? 1.0
                      : normalised < 3.5 ? 2.0
                      : normalised < 7.5 ? 5.0
                                         : 10.0;
  return nice * magnitude;
}

const QColor pointerColor(0x20, 0x50, 0xb0);
const QColor fillColor(0x4a, 0x8a, 0xe8);
const QColor minColor(0x20, 0x80, 0xd0);
const QColor maxColor(0xd0, 0x30, 0x30);

constexpr double pointerBand = 10.0;
constexpr double grooveBand = 8.0;
constexpr double markerBand = 8.0;
constexpr double tickBand = 5.0;

} // namespace

SlideGauge::SlideGauge(Qt::Orientation orientation, QWidget *parent) : QAbstractSlider(parent) {
  setOrientation(orientation);
  setFocusPolicy(Qt::NoFocus);
  setTracking(true);
  if (orientation == Qt::Horizontal)
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  else
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  syncSliderRange();
}

void SlideGauge::setAxisRange(double minimum, double maximum) {
  if (!std::isfinite(minimum) || !std::isfinite(maximum))
    return;
  m_axisMinimum = minimum;
  m_axisMaximum = maximum;
  syncSliderRange();
  update();
}

void SlideGauge::setAxisMinimum(double minimum) { setAxisRange(minimum, m_axisMaximum); }

void SlideGauge::setAxisMaximum(double maximum) { setAxisRange(m_axisMinimum, maximum); }

double SlideGauge::axisMinimum() const { return m_axisMinimum; }

double SlideGauge::axisMaximum() const { return m_axisMaximum; }

void SlideGauge::setGaugeValue(double value) {
  if (!std::isfinite(value))
    return;
  if (!m_hasMinMax) {
    m_min = m_max = value;
    m_hasMinMax = true;
  } else {
    m_min = std::min(m_min, value);
    m_max = std::max(m_max, value);
  }
  movePointer(value);
}

void SlideGauge::setGaugeValueUntracked(double value) {
  if (!std::isfinite(value))
    return;
  movePointer(value);
}

void SlideGauge::movePointer(double value) {
  const bool changed = value != m_value;
  m_value = value;
  syncSliderRange();
  update();
  if (changed)
    emit gaugeValueChanged(value);
}

double SlideGauge::gaugeValue() const { return m_value; }

void SlideGauge::setMinMaxMarkersVisible(bool visible) {
  m_markersVisible = visible;
  update();
}


bool SlideGauge::hasMinMax() const { return m_hasMinMax; }

double SlideGauge::minMarker() const { return m_hasMinMax ? m_min : 0.0; }

double SlideGauge::maxMarker() const { return m_hasMinMax ? m_max : 0.0; }

void SlideGauge::resetMinMax() {
  m_hasMinMax = false;
  m_min = m_max = 0.0;
  update();
}

void SlideGauge::setCaption(const QString &caption) {
  m_caption = caption;
  setAccessibleName(caption);
  updateGeometry();
  update();
}

QString SlideGauge::caption() const { return m_caption; }

void SlideGauge::syncSliderRange() {
  const int low = toUnits(std::min(m_axisMinimum, m_axisMaximum));
  const int high = toUnits(std::max(m_axisMinimum, m_axisMaximum));
  setRange(low, high);
  setValue(std::clamp(toUnits(m_value), low, high));
}

// The markers carry no numbers on the face; hovering shows the values they stand for.
bool SlideGauge::event(QEvent *event) {
  if (event->type() == QEvent::ToolTip && m_markersVisible && m_hasMinMax) {
    const QString text =
        QStringLiteral("min %1\nmax %2").arg(locale().toString(m_min), locale().toString(m_max));
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text, this);
    return true;
  }
  return QAbstractSlider::event(event);
}

void SlideGauge::keyPressEvent(QKeyEvent *event) { event->ignore(); }

#if QT_CONFIG(wheelevent)
void SlideGauge::wheelEvent(QWheelEvent *event) { event->ignore(); }
#endif

QSize SlideGauge::sizeHint() const {
  const QFontMetrics fm(font());
  const int captionHeight = m_caption.isEmpty() ? 0 : fm.height() + 2;
  const int across = int(pointerBand + grooveBand + markerBand + tickBand) + 2;
  if (orientation() == Qt::Horizontal)
    return {200, captionHeight + across + fm.height() + 2};
  const int numbers = fm.horizontalAdvance(QStringLiteral("-000.0")) + 2;
  return {std::max(numbers + across, fm.horizontalAdvance(m_caption) + 4), captionHeight + 160};
}

QSize SlideGauge::minimumSizeHint() const {
  const QSize hint = sizeHint();
  return orientation() == Qt::Horizontal ? QSize(80, hint.height()) : QSize(hint.width(), 80);
}

namespace {

// The gauge's bands laid out as distances along the axis and across it; point() turns a pair into
// widget coordinates for either orientation, alongOf() a value into its place on the axis.
struct GaugeGeometry {
  bool horizontal = true;
  double alongStart = 0.0, alongEnd = 0.0;
  double pointerTip = 0.0, pointerBase = 0.0, grooveStart = 0.0, markerTip = 0.0,
         markerBase = 0.0, tickStart = 0.0, tickEnd = 0.0;
  double axisMinimum = 0.0, axisMaximum = 0.0;

  QPointF point(double along, double across) const {
    return horizontal ? QPointF(along, across) : QPointF(across, along);
  }
  double alongOf(double value) const {
    return alongStart + (alongEnd - alongStart) * axisFraction(value, axisMinimum, axisMaximum);
  }
};

// Horizontal: caption, pointer, groove, markers, ticks and numbers from the top down. Vertical:
// numbers, ticks, markers, groove and pointer from the left, the axis running upwards.
GaugeGeometry layOut(bool horizontal, QSizeF size, const QFontMetrics &fm, double captionHeight,
                     const QString &lowText, const QString &highText) {
  GaugeGeometry g;
  g.horizontal = horizontal;
  if (horizontal) {
    const double margin =
        std::max(fm.horizontalAdvance(lowText), fm.horizontalAdvance(highText)) / 2.0 + 6.0;
    g.alongStart = margin;
    g.alongEnd = size.width() - margin;
    g.pointerBase = captionHeight + 1.0;
    g.pointerTip = g.pointerBase + pointerBand;
    g.grooveStart = g.pointerTip;
    g.markerTip = g.grooveStart + grooveBand;
    g.markerBase = g.markerTip + markerBand;
    g.tickStart = g.markerBase;
    g.tickEnd = g.tickStart + tickBand;
  } else {
    const double numbers = fm.horizontalAdvance(QStringLiteral("-000.0")) + 2.0;
    g.alongStart = size.height() - fm.height() / 2.0 - 3.0;
    g.alongEnd = captionHeight + fm.height() / 2.0 + 3.0;
    g.tickStart = numbers;
    g.tickEnd = g.tickStart + tickBand;
    g.markerBase = g.tickEnd;
    g.markerTip = g.markerBase + markerBand;
    g.grooveStart = g.markerTip;
    g.pointerTip = g.grooveStart + grooveBand;
    g.pointerBase = g.pointerTip + pointerBand;
  }
  return g;
}

void drawTriangle(QPainter &painter, const GaugeGeometry &g, double along, double tip,
                  double base, const QColor &color) {
  QPainterPath path;
  path.moveTo(g.point(along, tip));
  path.lineTo(g.point(along - 5.0, base));
  path.lineTo(g.point(along + 5.0, base));
  path.closeSubpath();
  painter.setPen(QPen(color.darker(140), 1));
  painter.setBrush(color);
  painter.drawPath(path);
}

// The groove, filled from the axis minimum to the value.
void drawGroove(QPainter &painter, const GaugeGeometry &g, const QPalette &palette,
                double valueAlong, bool enabled) {
  const QRectF groove =
      QRectF(g.point(g.alongStart, g.grooveStart), g.point(g.alongEnd, g.grooveStart + grooveBand))
          .normalized();
  painter.setPen(QPen(palette.color(QPalette::Shadow), 1));
  painter.setBrush(palette.color(QPalette::Base));
  painter.drawRect(groove);
  const QRectF filled = QRectF(g.point(g.alongStart, g.grooveStart + 1.5),
                               g.point(valueAlong, g.grooveStart + grooveBand - 1.5))
                            .normalized();
  painter.setPen(Qt::NoPen);
  painter.setBrush(enabled ? fillColor : palette.color(QPalette::Mid));
  painter.drawRect(filled);
}

// The scale: ticks at round values with their numbers.
void drawScale(QPainter &painter, const GaugeGeometry &g, const QFontMetrics &fm,
               const QLocale &locale) {
  const double low = std::min(g.axisMinimum, g.axisMaximum);
  const double high = std::max(g.axisMinimum, g.axisMaximum);
  const double step = tickStep(high - low);
  if (step <= 0.0) {
    painter.drawLine(g.point(g.alongStart, g.tickStart), g.point(g.alongStart, g.tickEnd));
    return;
  }
  const double first = std::ceil(low / step - 1e-9) * step;
  for (int i = 0; i <= 50; ++i) {
    const double tick = first + i * step;
    if (tick > high + step * 1e-9)
      break;
    const double along = g.alongOf(tick);
    painter.drawLine(g.point(along, g.tickStart), g.point(along, g.tickEnd));
    const QString label = locale.toString(std::abs(tick) < step * 1e-9 ? 0.0 : tick);
    const double labelWidth = fm.horizontalAdvance(label);
    const QRectF box =
        g.horizontal
            ? QRectF(along - labelWidth / 2.0 - 2.0, g.tickEnd + 1.0, labelWidth + 4.0, fm.height())
            : QRectF(0.0, along - fm.height() / 2.0, g.tickStart - 2.0, fm.height());
    painter.drawText(box, (g.horizontal ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter,
                     label);
  }
}

} // namespace

void SlideGauge::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const double captionHeight = m_caption.isEmpty() ? 0.0 : fm.height() + 2.0;

  if (!m_caption.isEmpty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, 0, width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                     m_caption);
  }

  GaugeGeometry g = layOut(orientation() == Qt::Horizontal, size(), fm, captionHeight,
                           locale().toString(m_axisMinimum), locale().toString(m_axisMaximum));
  g.axisMinimum = m_axisMinimum;
  g.axisMaximum = m_axisMaximum;

  const double valueAlong = g.alongOf(m_value);
  drawGroove(painter, g, palette(), valueAlong, isEnabled());
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  drawScale(painter, g, fm, locale());

  if (m_markersVisible && m_hasMinMax) {
    drawTriangle(painter, g, g.alongOf(m_min), g.markerTip, g.markerBase, minColor);
    drawTriangle(painter, g, g.alongOf(m_max), g.markerTip, g.markerBase, maxColor);
  }
  drawTriangle(painter, g, valueAlong, g.pointerTip, g.pointerBase,
               isEnabled() ? pointerColor : Qt::gray);
}

} // namespace widgets
