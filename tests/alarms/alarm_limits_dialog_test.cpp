#include "alarms/alarm_limits_dialog.h"

#include "tests/support/recorders.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include <map>

using namespace alarms;

namespace {

QLineEdit *byAccessibleName(const QWidget &dialog, const QString &name) {
  for (QLineEdit *edit : dialog.findChildren<QLineEdit *>())
    if (edit->accessibleName() == name)
      return edit;
  return nullptr;
}

// Fields typed by their accessible names under German number conventions; OK pressed.
TEST(AlarmLimitsDialog, ReadsTheLocaleAndRefusesRowsThatMakeNoSenseNamingThem) {
  struct Row {
    std::map<QString, QString> typed;
    QString message; // empty: accepted
  };
  const Row rows[] = {
      {{{"pH 1 low limit", "6,5"}, {"pH 1 high limit", "7,25"}, {"pH 1 deadband", "0,1"},
        {"pH 1 on-delay", "10"}, {"Flow high limit", "1.000,5"},
        {"Thermistor modules no-reading time", "30"}},
       ""},
      {{{"Thermistor 2 low limit", "30"}, {"Thermistor 2 high limit", "30"}},
       "Thermistor 2: the low limit must be below the high limit."},
      {{{"pH 2 low limit", "6"}, {"pH 2 high limit", "8"}, {"pH 2 deadband", "2"}},
       "pH 2: the deadband must be smaller than the high limit minus the low limit."},
      {{{"Flow on-delay", "-1"}}, "Flow: the on-delay cannot be negative."},
      {{{"Thermistor 3 high limit", "7.5"}},
       "Thermistor 3: \"7.5\" is not a number (Thermistor 3 high limit)."},
      {{{"pH modules no-reading time", "-5"}},
       "pH modules (no reading): the time without a reading cannot be negative."},
  };
  for (const Row &row : rows) {
    testsupport::RecordingMessages messages;
    AlarmLimitsDialog dialog(messages);
    dialog.setLocale(QLocale(QLocale::German, QLocale::Germany));
    std::optional<AlarmSettings> chosen;
    QObject::connect(&dialog, &AlarmLimitsDialog::settingsChosen,
                     [&](const AlarmSettings &settings) { chosen = settings; });
    for (const auto &[name, text] : row.typed) {
      QLineEdit *edit = byAccessibleName(dialog, name);
      ASSERT_NE(edit, nullptr) << name.toStdString();
      edit->setText(text);
    }
    dialog.show();
    QMetaObject::invokeMethod(&dialog, "accept");
    if (row.message.isEmpty()) {
      ASSERT_TRUE(chosen.has_value());
      EXPECT_TRUE(messages.shown.empty());
      EXPECT_EQ(chosen->limits[index(Alarm::Ph1)], (Limits{6.5, 7.25, 0.1, 10}));
      EXPECT_EQ(chosen->limits[index(Alarm::Flow)], (Limits{{}, 1000.5, 0, 0}));
      EXPECT_EQ(chosen->noReadingSeconds, (std::array<double, 3>{0, 0, 30}));
      EXPECT_FALSE(dialog.isVisible());
      dialog.showSettings(*chosen); // and back into the fields as typed
      EXPECT_EQ(byAccessibleName(dialog, "pH 1 high limit")->text(), "7,25");
      EXPECT_EQ(byAccessibleName(dialog, "Flow high limit")->text(), "1000,5");
    } else {
      EXPECT_FALSE(chosen.has_value());
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_EQ(messages.shown[0].text, row.message);
      EXPECT_TRUE(dialog.isVisible());
    }
  }
}

} // namespace
