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

bool SlideGauge::minMaxMarkersVisible() const { return m_markersVisible; }

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

void SlideGauge::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm(font());
  const bool horizontal = orientation() == Qt::Horizontal;
  const double captionHeight = m_caption.isEmpty() ? 0.0 : fm.height() + 2.0;

  if (!m_caption.isEmpty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, 0, width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                     m_caption);
  }

  // Everything is laid out as a distance along the axis and a distance across it; point() turns
  // the pair into widget coordinates for either orientation.
  double alongStart = 0.0;
  double alongEnd = 0.0;
  double pointerTip = 0.0, pointerBase = 0.0, grooveStart = 0.0, markerTip = 0.0, markerBase = 0.0,
         tickStart = 0.0, tickEnd = 0.0;
  const QString lowText = locale().toString(m_axisMinimum);
  const QString highText = locale().toString(m_axisMaximum);
  if (horizontal) {
    const double margin =
        std::max(fm.horizontalAdvance(lowText), fm.horizontalAdvance(highText)) / 2.0 + 6.0;
    alongStart = margin;
    alongEnd = width() - margin;
    pointerBase = captionHeight + 1.0;
    pointerTip = pointerBase + pointerBand;
    grooveStart = pointerTip;
    markerTip = grooveStart + grooveBand;
    markerBase = markerTip + markerBand;
    tickStart = markerBase;
    tickEnd = tickStart + tickBand;
  } else {
    const double numbers = fm.horizontalAdvance(QStringLiteral("-000.0")) + 2.0;
    alongStart = height() - fm.height() / 2.0 - 3.0;
    alongEnd = captionHeight + fm.height() / 2.0 + 3.0;
    tickStart = numbers;
    tickEnd = tickStart + tickBand;
    markerBase = tickEnd;
    markerTip = markerBase + markerBand;
    grooveStart = markerTip;
    pointerTip = grooveStart + grooveBand;
    pointerBase = pointerTip + pointerBand;
  }
  const auto point = [horizontal](double along, double across) {
    return horizontal ? QPointF(along, across) : QPointF(across, along);
  };
  const auto alongOf = [&](double value) {
    return alongStart + (alongEnd - alongStart) * axisFraction(value, m_axisMinimum, m_axisMaximum);
  };
  const auto triangle = [&](double along, double tip, double base, const QColor &color) {
    QPainterPath path;
    path.moveTo(point(along, tip));
    path.lineTo(point(along - 5.0, base));
    path.lineTo(point(along + 5.0, base));
    path.closeSubpath();
    painter.setPen(QPen(color.darker(140), 1));
    painter.setBrush(color);
    painter.drawPath(path);
  };

  // Groove, filled from the axis minimum to the value.
  const QRectF groove =
      QRectF(point(alongStart, grooveStart), point(alongEnd, grooveStart + grooveBand))
          .normalized();
  painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
  painter.setBrush(palette().color(QPalette::Base));
  painter.drawRect(groove);
  const double valueAlong = alongOf(m_value);
  const QRectF filled = QRectF(point(alongStart, grooveStart + 1.5),
                               point(valueAlong, grooveStart + grooveBand - 1.5))
                            .normalized();
  painter.setPen(Qt::NoPen);
  painter.setBrush(isEnabled() ? fillColor : palette().color(QPalette::Mid));
  painter.drawRect(filled);

  // Scale: ticks at round values with their numbers.
  painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
  const double low = std::min(m_axisMinimum, m_axisMaximum);
  const double high = std::max(m_axisMinimum, m_axisMaximum);
  const double step = tickStep(high - low);
  if (step > 0.0) {
    const double first = std::ceil(low / step - 1e-9) * step;
    for (int i = 0; i <= 50; ++i) {
      const double tick = first + i * step;
      if (tick > high + step * 1e-9)
        break;
      const double along = alongOf(tick);
      painter.drawLine(point(along, tickStart), point(along, tickEnd));
      const QString label = locale().toString(std::abs(tick) < step * 1e-9 ? 0.0 : tick);
      const double labelWidth = fm.horizontalAdvance(label);
      const QRectF box =
          horizontal
              ? QRectF(along - labelWidth / 2.0 - 2.0, tickEnd + 1.0, labelWidth + 4.0, fm.height())
              : QRectF(0.0, along - fm.height() / 2.0, tickStart - 2.0, fm.height());
      painter.drawText(box, (horizontal ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter,
                       label);
    }
  } else {
    painter.drawLine(point(alongStart, tickStart), point(alongStart, tickEnd));
  }

  if (m_markersVisible && m_hasMinMax) {
    triangle(alongOf(m_min), markerTip, markerBase, minColor);
    triangle(alongOf(m_max), markerTip, markerBase, maxColor);
  }
  triangle(valueAlong, pointerTip, pointerBase, isEnabled() ? pointerColor : Qt::gray);
}

} // namespace widgets
