#include "widgets/two_state_switch.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace widgets {

namespace {

const QColor lightOff(0xd0, 0x20, 0x20);
const QColor lightOn(0x20, 0xc0, 0x30);
const QColor faceGreen(0x3c, 0xb0, 0x43);

constexpr int lightSize = 12;
constexpr int padding = 8;

} // namespace

TwoStateSwitch::TwoStateSwitch(const QString &offText, const QString &onText, QWidget *parent)
    : QAbstractButton(parent), m_offText(offText), m_onText(onText) {
  setCheckable(true);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  showFaceText();
}

QString TwoStateSwitch::offText() const { return m_offText; }

QString TwoStateSwitch::onText() const { return m_onText; }

void TwoStateSwitch::setLightVisible(bool visible) {
  if (m_lightVisible == visible)
    return;
  m_lightVisible = visible;
  updateGeometry();
  update();
}

bool TwoStateSwitch::lightVisible() const { return m_lightVisible; }

void TwoStateSwitch::setGreenFaceWhenOn(bool green) {
  m_greenFaceWhenOn = green;
  update();
}

bool TwoStateSwitch::greenFaceWhenOn() const { return m_greenFaceWhenOn; }

QFont TwoStateSwitch::faceFont(bool on) const {
  QFont face = font();
  if (on)
    face.setBold(true);
  return face;
}

QSize TwoStateSwitch::sizeHint() const {
  // Each face is measured in the font it is drawn with: the on face is bold.
  const QFontMetrics offMetrics(faceFont(false));
  const QFontMetrics onMetrics(faceFont(true));
  int width = qMax(offMetrics.horizontalAdvance(m_offText), onMetrics.horizontalAdvance(m_onText)) +
              2 * padding;
  if (m_lightVisible)
    width += lightSize + 2 * padding;
  return {qMax(width, 60), qMax(offMetrics.height(), onMetrics.height()) + 2 * padding};
}

QSize TwoStateSwitch::minimumSizeHint() const { return sizeHint(); }

// QAbstractButton calls this from setChecked() before it emits toggled(), for the operator's
// click and the program's call alike, so the face text is already current in every handler.
void TwoStateSwitch::checkStateSet() { showFaceText(); }

// A click by mouse or keyboard reaches setChecked() with the call to checkStateSet() held back
// until after toggled(), so the coming face is shown first; the actual state is shown after.
void TwoStateSwitch::nextCheckState() {
  setText(isChecked() ? m_offText : m_onText);
  QAbstractButton::nextCheckState();
  showFaceText();
}

void TwoStateSwitch::showFaceText() { setText(isChecked() ? m_onText : m_offText); }

QRectF TwoStateSwitch::faceRect() const { return QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5); }

QRectF TwoStateSwitch::lightRect() const {
  if (!m_lightVisible)
    return {};
  const QRectF face = faceRect();
  return {face.left() + padding, face.center().y() - lightSize / 2.0, double(lightSize),
          double(lightSize)};
}

QRectF TwoStateSwitch::textArea() const {
  QRectF area = faceRect().adjusted(padding / 2.0, 0, -padding / 2.0, 0);
  if (m_lightVisible)
    area.setLeft(lightRect().right() + padding / 2.0);
  return area;
}

void TwoStateSwitch::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const bool on = isChecked();
  const QRectF face = faceRect();

  QColor faceColor = palette().color(QPalette::Button);
  if (on)
    faceColor = m_greenFaceWhenOn ? faceGreen : faceColor.darker(115);
  if (isDown())
    faceColor = faceColor.darker(110);

  // A raised face while off, a pressed-in one while on: the latch is visible without the text.
  QLinearGradient gradient(face.topLeft(), face.bottomLeft());
  gradient.setColorAt(0, on ? faceColor.darker(112) : faceColor.lighter(118));
  gradient.setColorAt(1, on ? faceColor.lighter(105) : faceColor.darker(108));
  painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
  painter.setBrush(gradient);
  painter.drawRoundedRect(face, 4, 4);

  if (m_lightVisible) {
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    painter.setBrush(on ? lightOn : lightOff);
    painter.drawRect(lightRect());
  }

  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.setFont(faceFont(on));
  painter.drawText(textArea(), Qt::AlignCenter | Qt::TextShowMnemonic, text());

  if (hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(3, 3, -3, -3);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

} // namespace widgets
