#include "widgets/numeric_display.h"

#include <QAccessibleWidget>
#include <QVBoxLayout>

namespace widgets {

namespace {

// QLabel's own accessible falls back to the caption (its buddy's text) when the reading is
// empty; a display's name is its reading alone.
class DisplayLabelAccessible : public QAccessibleWidget {
public:
  explicit DisplayLabelAccessible(QWidget *label)
      : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name || t == QAccessible::Value)
      return static_cast<const QLabel *>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface *displayLabelAccessible(const QString &className, QObject *object) {
  if (className == QLatin1String(DisplayLabel::staticMetaObject.className()) &&
      object->isWidgetType())
    return new DisplayLabelAccessible(static_cast<QWidget *>(object));
  return nullptr;
}

} // namespace

NumericDisplay::NumericDisplay(const QString &caption, const QString &labelObjectName,
                               const QString &initialText, const QColor &color, QWidget *parent)
    : QFrame(parent), m_caption(new QLabel(caption, this)),
      m_label(new DisplayLabel(initialText, this)), m_color(color) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(displayLabelAccessible);
    return true;
  }();
  Q_UNUSED(factoryInstalled);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Raised);

  QFont captionFont = font();
  captionFont.setBold(true);
  captionFont.setPointSizeF(8.25);
  m_caption->setFont(captionFont);
  m_caption->setObjectName(labelObjectName + QStringLiteral("Caption"));

  m_caption->setBuddy(m_label);
  m_label->setObjectName(labelObjectName);
  m_label->setFont(displayFont());
  m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_label->setContentsMargins(4, 0, 4, 0);
  m_label->setAutoFillBackground(true);
  QPalette labelPalette = m_label->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    labelPalette.setColor(group, QPalette::Window, Qt::black);
    labelPalette.setColor(group, QPalette::WindowText, color);
  }
  m_label->setPalette(labelPalette);
  // Room for a reading like "-0000.00" so the display does not jump as its text changes.
  const QFontMetrics fm(m_label->font());
  m_label->setMinimumWidth(fm.horizontalAdvance(QStringLiteral("-0000.00")) + 8);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 2, 3, 3);
  layout->setSpacing(1);
  layout->addWidget(m_caption);
  layout->addWidget(m_label);
}

QLabel *NumericDisplay::label() const { return m_label; }

QLabel *NumericDisplay::captionLabel() const { return m_caption; }

QString NumericDisplay::caption() const { return m_caption->text(); }

QColor NumericDisplay::color() const { return m_color; }

QFont NumericDisplay::displayFont() {
  // DejaVu Sans Condensed Bold comes with fonts-dejavu-extra; fontconfig files it under the family
  // "DejaVu Sans" with a condensed stretch, so both the family and the stretch are asked for.
  QFont font;
  font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans Narrow"),
                    QStringLiteral("Nimbus Sans Narrow")});
  font.setStyleHint(QFont::SansSerif);
  font.setStretch(QFont::Condensed);
  font.setWeight(QFont::Bold);
  font.setPointSize(18);
  return font;
}

} // namespace widgets
