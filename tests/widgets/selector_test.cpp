#include "widgets/knob.h"
#include "widgets/position_selector.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace {

using widgets::Knob;
using widgets::PositionSelector;

struct KnobCase {
  int minimum;
  int maximum;
  const char *caption;
  int set;
  int expected;
};

// Start-up sets the knobs by program and relies on the same signal as a turn.
TEST(Knob, ProgramSetEmitsValueChangedAndClampsToTheScale) {
  const std::vector<KnobCase> cases = {
      {0, 30, "Max.", 25, 25}, {0, 30, "Min.", 5, 5},   {0, 20, "Max.", 15, 15},
      {0, 20, "Min.", -4, 0},  {0, 30, "Max.", 45, 30},
  };
  for (const KnobCase &c : cases) {
    Knob knob(c.minimum, c.maximum, c.caption);
    EXPECT_EQ(knob.caption(), c.caption);
    EXPECT_EQ(knob.accessibleName(), c.caption);
    QSignalSpy spy(&knob, &Knob::valueChanged);
    knob.setValue(c.set);
    ASSERT_EQ(spy.count(), c.expected == c.minimum ? 0 : 1) << c.caption << " " << c.set;
    if (spy.count()) {
      EXPECT_EQ(spy.at(0).at(0).toInt(), c.expected);
    }
    EXPECT_EQ(knob.value(), c.expected);
  }
}

// The knob is painted around the widget's centre, where QDial measures the mouse angle from: a
// press straight above the centre is the middle of the scale, one past the lower left end of the
// scale the minimum.
TEST(Knob, PressingOnTheScaleTurnsTheKnobThere) {
  Knob knob(0, 30, QStringLiteral("Max."));
  knob.resize(knob.sizeHint());
  knob.show();
  QSignalSpy spy(&knob, &Knob::valueChanged);
  const QPoint centre(knob.width() / 2, knob.height() / 2);
  QTest::mousePress(&knob, Qt::LeftButton, {}, centre - QPoint(0, 30));
  QTest::mouseRelease(&knob, Qt::LeftButton, {}, centre - QPoint(0, 30));
  EXPECT_EQ(knob.value(), 15);
  QTest::mousePress(&knob, Qt::LeftButton, {}, centre + QPoint(-11, 30));
  QTest::mouseRelease(&knob, Qt::LeftButton, {}, centre + QPoint(-11, 30));
  EXPECT_EQ(knob.value(), 0);
  EXPECT_EQ(spy.count(), 2);
}

TEST(PositionSelector, PositionsRunFromFirstOverTheLabels) {
  PositionSelector mode(1, {QStringLiteral("Pan"), QStringLiteral("Cur"), QString()},
                        Qt::Horizontal);
  EXPECT_EQ(mode.minimum(), 1);
  EXPECT_EQ(mode.maximum(), 3);
  EXPECT_EQ(mode.value(), 1);
  EXPECT_EQ(mode.accessibleName(), QStringLiteral("Pan / Cur"));

  QSignalSpy spy(&mode, &PositionSelector::valueChanged);
  for (int position : {2, 2, 3, 9, 1})
    mode.setValue(position);
  ASSERT_EQ(spy.count(), 3); // 2, 3, 1: a repeat and the clamped 9 (already 3) change nothing
  EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
  EXPECT_EQ(spy.at(1).at(0).toInt(), 3);
  EXPECT_EQ(spy.at(2).at(0).toInt(), 1);
}

struct ClickCase {
  Qt::Orientation orientation;
  bool inverted;
  double fraction; // where along the widget's length to click, 0 = left / top
  int expected;
};

TEST(PositionSelector, AClickSelectsTheNearestPosition) {
  const std::vector<ClickCase> cases = {
      {Qt::Horizontal, false, 0.02, 1}, {Qt::Horizontal, false, 0.5, 2},
      {Qt::Horizontal, false, 0.98, 3}, {Qt::Horizontal, true, 0.02, 3},
      {Qt::Vertical, false, 0.02, 3},   {Qt::Vertical, false, 0.98, 1},
      {Qt::Vertical, true, 0.02, 1},    {Qt::Vertical, false, 0.55, 2},
  };
  for (const ClickCase &c : cases) {
    PositionSelector mode(1, {QStringLiteral("Pan"), QStringLiteral("Cur"), QString()},
                          c.orientation);
    mode.setInvertedAppearance(c.inverted);
    mode.setValue(c.expected == 2 ? 1 : 2);
    mode.resize(c.orientation == Qt::Horizontal ? QSize(180, mode.sizeHint().height())
                                                : QSize(mode.sizeHint().width(), 120));
    mode.show();
    QSignalSpy spy(&mode, &PositionSelector::valueChanged);
    const QPoint at = c.orientation == Qt::Horizontal ? QPoint(int(c.fraction * mode.width()), 12)
                                                      : QPoint(12, int(c.fraction * mode.height()));
    QTest::mouseClick(&mode, Qt::LeftButton, {}, at);
    EXPECT_EQ(mode.value(), c.expected) << c.orientation << c.inverted << c.fraction;
    EXPECT_EQ(spy.count(), 1);
  }
}

TEST(PositionSelector, ArrowKeysStepThroughThePositions) {
  PositionSelector mode(1, {QStringLiteral("Pan"), QStringLiteral("Cur"), QString()},
                        Qt::Horizontal);
  mode.show();
  mode.setFocus();
  QTest::keyClick(&mode, Qt::Key_Right);
  EXPECT_EQ(mode.value(), 2);
  QTest::keyClick(&mode, Qt::Key_Right);
  QTest::keyClick(&mode, Qt::Key_Right);
  EXPECT_EQ(mode.value(), 3);
  QTest::keyClick(&mode, Qt::Key_Home);
  EXPECT_EQ(mode.value(), 1);
}

} // namespace
