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

// Screen readers and accessibility-driven tools find the controls by what a person reads.
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
      {std::shared_ptr<QWidget>(display, display->label()), QStringLiteral("Frequency"),
       QAccessible::StaticText},
  };
  for (const AccessibleCase &c : cases) {
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(c.widget.get());
    ASSERT_NE(iface, nullptr) << c.name.toStdString();
    EXPECT_EQ(iface->text(QAccessible::Name), c.name);
    EXPECT_EQ(iface->role(), c.role) << c.name.toStdString();
  }
}

} // namespace
