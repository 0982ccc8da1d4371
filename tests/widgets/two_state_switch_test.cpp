#include "widgets/two_state_switch.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using widgets::TwoStateSwitch;

QString accessibleName(QWidget *widget) {
  QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
  return iface ? iface->text(QAccessible::Name) : QString();
}

struct SwitchCase {
  const char *off;
  const char *on;
  bool light;
  bool greenFace;
};

class TwoStateSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

// The channel handlers run on toggled() and may read the face, so the text must already be the
// new one when the signal arrives, whether the program or the operator moved the switch.
TEST_P(TwoStateSwitchTest, FaceFollowsTheStateBeforeToggledArrives) {
  const SwitchCase c = GetParam();
  TwoStateSwitch sw(c.off, c.on);
  sw.setLightVisible(c.light);
  sw.setGreenFaceWhenOn(c.greenFace);
  EXPECT_FALSE(sw.isChecked());
  EXPECT_EQ(sw.text(), c.off);
  EXPECT_EQ(accessibleName(&sw), c.off);

  QStringList facesSeen;
  QList<bool> statesSeen;
  QObject::connect(&sw, &TwoStateSwitch::toggled, [&](bool on) {
    statesSeen << on;
    facesSeen << sw.text();
  });

  sw.setChecked(true); // the program
  sw.setChecked(true); // no change, no signal
  sw.click();          // the operator
  sw.resize(sw.sizeHint());
  sw.show();
  sw.setFocus();
  QTest::keyClick(&sw, Qt::Key_Space); // and by keyboard
  sw.setChecked(false);

  EXPECT_EQ(statesSeen, (QList<bool>{true, false, true, false}));
  EXPECT_EQ(facesSeen, (QStringList{c.on, c.off, c.on, c.off}));
  EXPECT_EQ(sw.text(), c.off);
  sw.setChecked(true);
  EXPECT_EQ(accessibleName(&sw), c.on);
  EXPECT_EQ(sw.offText(), c.off);
  EXPECT_EQ(sw.onText(), c.on);
  EXPECT_EQ(sw.lightVisible(), c.light);
  EXPECT_EQ(sw.greenFaceWhenOn(), c.greenFace);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, TwoStateSwitchTest,
    ::testing::Values(SwitchCase{"Enable DGH", "Disable DGH", true, false},
                      SwitchCase{"Start", "Stop", false, true},
                      SwitchCase{"Start Plot", "Pause Plot", true, false}),
    [](const auto &info) {
      return QString::fromUtf8(info.param.off).remove(QLatin1Char(' ')).toStdString();
    });

// At its size hint each face fits its text in the font it is drawn with (the on face is bold),
// clear of the light.
TEST_P(TwoStateSwitchTest, EachFaceFitsItsTextInItsOwnFont) {
  const SwitchCase c = GetParam();
  TwoStateSwitch sw(c.off, c.on);
  sw.setLightVisible(c.light);
  sw.resize(sw.sizeHint());
  for (const bool on : {false, true}) {
    sw.setChecked(on);
    const QFontMetricsF fm(sw.faceFont(on));
    EXPECT_EQ(sw.faceFont(on).bold(), on);
    EXPECT_LE(fm.horizontalAdvance(sw.text()), sw.textArea().width()) << sw.text().toStdString();
    EXPECT_LE(fm.height(), sw.textArea().height());
    if (c.light) {
      EXPECT_GE(sw.textArea().left(), sw.lightRect().right() + 2);
    }
  }
}

TEST(TwoStateSwitch, SizeHintHoldsTheLongerFaceAndTheLight) {
  TwoStateSwitch plain(QStringLiteral("Enable DGH"), QStringLiteral("Disable DGH"));
  TwoStateSwitch lit(QStringLiteral("Enable DGH"), QStringLiteral("Disable DGH"));
  lit.setLightVisible(true);
  const QFontMetrics fm(plain.font());
  EXPECT_GT(plain.sizeHint().width(), fm.horizontalAdvance(QStringLiteral("Disable DGH")));
  EXPECT_GT(lit.sizeHint().width(), plain.sizeHint().width());
  EXPECT_GT(plain.sizeHint().height(), fm.height());
}

} // namespace
