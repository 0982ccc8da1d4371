#include "widgets/numeric_display.h"
#include "widgets/numeric_entry.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace {

using widgets::NumericDisplay;
using widgets::NumericEntry;

struct DisplayCase {
  const char *caption;
  const char *objectName;
  const char *text;
  QColor colour;
};

// frmMain finds the labels by object name and the readers write their text; the colours tell the
// two probes apart.
TEST(NumericDisplay, LabelCarriesNameTextColourAndCaption) {
  const std::vector<DisplayCase> cases = {
      {"mV1", "lblmV", "0000.00", Qt::green},
      {"pH2 (w/corr.)", "lblpH2WOS", "000", Qt::red},
      {"Total Liters", "liters", "000", Qt::green},
  };
  for (const DisplayCase &c : cases) {
    QWidget window;
    auto *display = new NumericDisplay(c.caption, c.objectName, c.text, c.colour, &window);
    QLabel *label = window.findChild<QLabel *>(c.objectName);
    ASSERT_EQ(label, display->label()) << c.objectName;
    EXPECT_EQ(label->text(), c.text);
    EXPECT_EQ(display->caption(), c.caption);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
      EXPECT_EQ(label->palette().color(group, QPalette::WindowText), c.colour) << c.objectName;
      EXPECT_EQ(label->palette().color(group, QPalette::Window), QColor(Qt::black));
    }
    EXPECT_TRUE(label->autoFillBackground());
    const QFontInfo info(label->font());
    EXPECT_TRUE(info.bold());
    EXPECT_EQ(info.pointSize(), 18);
    // The caption is the frame's other text, and it is not the value.
    const QList<QLabel *> labels = display->findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 2);
    const QLabel *caption = labels.at(0) == label ? labels.at(1) : labels.at(0);
    EXPECT_EQ(caption->text(), c.caption);
    EXPECT_TRUE(caption->font().bold());
    EXPECT_LT(caption->font().pointSizeF(), label->font().pointSizeF());

    label->setText(QStringLiteral("2577.7"));
    EXPECT_EQ(display->label()->text(), QStringLiteral("2577.7"));
  }
}

TEST(NumericDisplay, UsesACondensedFaceWhenOneIsInstalled) {
  const QFontInfo info(NumericDisplay::displayFont());
  if (!QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans")))
    GTEST_SKIP() << "fonts-dejavu-extra is not installed";
  EXPECT_EQ(info.family(), QStringLiteral("DejaVu Sans"));
  EXPECT_TRUE(info.styleName().contains(QStringLiteral("Condensed")))
      << info.styleName().toStdString();
}

TEST(NumericEntry, DefaultsAndEverySetSignals) {
  NumericEntry entry;
  EXPECT_EQ(entry.decimals(), 2);
  EXPECT_DOUBLE_EQ(entry.minimum(), -1000.0);
  EXPECT_DOUBLE_EQ(entry.maximum(), 1000.0);
  EXPECT_DOUBLE_EQ(entry.singleStep(), 0.1);
  EXPECT_DOUBLE_EQ(entry.value(), 0.0);

  QSignalSpy spy(&entry, qOverload<double>(&NumericEntry::valueChanged));
  entry.setValue(0.25);
  entry.stepUp();
  entry.setValue(0.35);
  ASSERT_EQ(spy.count(), 2); // the step already gave 0.35
  EXPECT_DOUBLE_EQ(spy.at(0).at(0).toDouble(), 0.25);
  EXPECT_DOUBLE_EQ(spy.at(1).at(0).toDouble(), 0.35);
}

struct LocaleCase {
  QLocale::Language language;
  QLocale::Territory territory;
  const char *shown; // the text for 1.25
  const char *typed; // typed by the operator
  double value;      // what the typed text means
};

TEST(NumericEntry, ReadsAndWritesTheRegionalDecimalSeparator) {
  const std::vector<LocaleCase> cases = {
      {QLocale::English, QLocale::UnitedStates, "1.25", "-2.5", -2.5},
      {QLocale::German, QLocale::Germany, "1,25", "-2,5", -2.5},
      {QLocale::French, QLocale::France, "1,25", "12,75", 12.75},
  };
  for (const LocaleCase &c : cases) {
    NumericEntry entry;
    entry.setLocale(QLocale(c.language, c.territory));
    entry.setValue(1.25);
    EXPECT_EQ(entry.text(), c.shown);
    entry.show();
    entry.setFocus();
    QSignalSpy spy(&entry, qOverload<double>(&NumericEntry::valueChanged));
    QLineEdit *edit = entry.findChild<QLineEdit *>();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, c.typed);
    EXPECT_DOUBLE_EQ(entry.value(), c.value) << c.typed;
    EXPECT_GE(spy.count(), 1);
  }
}

} // namespace
