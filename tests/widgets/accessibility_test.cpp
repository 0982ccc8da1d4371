#include "widgets/knob.h"
#include "widgets/numeric_display.h"
#include "widgets/position_selector.h"
#include "widgets/slide_gauge.h"
#include "widgets/two_state_switch.h"

#include <QAccessible>
#include <QLabel>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace widgets;

struct AccessibleCase {
  std::shared_ptr<QWidget> widget;
  QString name;
  QAccessible::Role role;
};

// Screen readers and accessibility-driven tools find the controls by what a person reads; a
// display reads as its reading.
TEST(Accessibility, EveryControlIsNamedByItsCaptionOrFace) {
  auto gauge = std::make_shared<SlideGauge>(Qt::Vertical);
  gauge->setCaption(QStringLiteral("L/min"));
  auto display = std::make_shared<NumericDisplay>(
      QStringLiteral("Frequency"), QStringLiteral("lblHz"), QStringLiteral("000"), Qt::green);
  const std::vector<AccessibleCase> cases = {
      {std::make_shared<TwoStateSwitch>(QStringLiteral("Start"), QStringLiteral("Stop")),
       QStringLiteral("Start"), QAccessible::CheckBox},
      {gauge, QStringLiteral("L/min"), QAccessible::Slider},
      {std::make_shared<Knob>(0, 30, QStringLiteral("Max.")), QStringLiteral("Max."),
       QAccessible::Dial},
      {std::make_shared<PositionSelector>(
           1, QStringList{QStringLiteral("Pan"), QStringLiteral("Cur"), QString()}, Qt::Horizontal),
       QStringLiteral("Pan / Cur"), QAccessible::Slider},
      {std::shared_ptr<QWidget>(display, display->label()), QStringLiteral("000"),
       QAccessible::StaticText},
  };
  for (const AccessibleCase &c : cases) {
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(c.widget.get());
    ASSERT_NE(iface, nullptr) << c.name.toStdString();
    EXPECT_EQ(iface->text(QAccessible::Name), c.name);
    EXPECT_EQ(iface->role(), c.role) << c.name.toStdString();
  }
}

// A client finds a display by its caption and reads the reading from the label the caption is
// tied to; a blank display reads as empty, not as its caption.
TEST(Accessibility, DisplayReadsAsItsReadingAndIsLabelledByItsCaption) {
  NumericDisplay display(QStringLiteral("mV1"), QStringLiteral("lblmV"), QStringLiteral("0000.00"),
                         Qt::green);
  QAccessibleInterface *caption = QAccessible::queryAccessibleInterface(display.captionLabel());
  QAccessibleInterface *reading = QAccessible::queryAccessibleInterface(display.label());
  ASSERT_NE(caption, nullptr);
  ASSERT_NE(reading, nullptr);
  EXPECT_EQ(caption->text(QAccessible::Name), QStringLiteral("mV1"));

  const auto labelled = caption->relations(QAccessible::Labelled);
  ASSERT_EQ(labelled.size(), 1);
  EXPECT_EQ(labelled.first().first->object(), display.label());
  const auto labelledBy = reading->relations(QAccessible::Label);
  ASSERT_EQ(labelledBy.size(), 1);
  EXPECT_EQ(labelledBy.first().first->object(), display.captionLabel());

  for (const QString &text : {QStringLiteral("0000.00"), QStringLiteral("2577.7"), QString()}) {
    display.label()->setText(text);
    EXPECT_EQ(reading->text(QAccessible::Name), text);
    EXPECT_EQ(reading->text(QAccessible::Value), text);
  }
}

} // namespace
