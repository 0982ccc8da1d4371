#include "alarms/alarm_limits.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

using namespace alarms;

namespace {

TEST(AlarmLimits, RowsThatMakeNoSenseAreRefusedByName) {
  struct Row {
    Limits limits;
    const char *refusal; // empty: accepted
  };
  const Row rows[] = {
      {{6.0, 8.0, 1.5, 10}, ""},
      {{{}, 8.0, 20, 0}, ""}, // one limit: any deadband below it is the operator's business
      {{8.0, 8.0, 0, 0}, "pH 1: the low limit must be below the high limit."},
      {{9.0, 8.0, 0, 0}, "pH 1: the low limit must be below the high limit."},
      {{6.0, 8.0, 2.0, 0},
       "pH 1: the deadband must be smaller than the high limit minus the low limit."},
      {{6.0, 8.0, -0.1, 0}, "pH 1: the deadband cannot be negative."},
      {{6.0, 8.0, 0, -1}, "pH 1: the on-delay cannot be negative."},
  };
  for (const Row &row : rows)
    EXPECT_EQ(refusal("pH 1", row.limits), QString::fromUtf8(row.refusal));
}

TEST(AlarmLimits, StoredValuesThatCannotBeReadLeaveTheirLimitOffAndAreNamed) {
  QTemporaryDir dir;
  const QString path = dir.filePath("store.conf");
  {
    QSettings store(path, QSettings::IniFormat);
    store.setValue("Coefficients/Probe1Slope", "1.02");
    AlarmSettings settings;
    settings.limits[index(Alarm::Ph1)] = {6.5, 7.5, 0.1, 10};
    settings.limits[index(Alarm::Therm3)] = {{}, 30.25, 0, 0};
    settings.noReadingSeconds[static_cast<int>(state::Channel::Flow)] = 15;
    saveAlarmSettings(store, settings);
    EXPECT_EQ(loadAlarmSettings(store).settings, settings);
    EXPECT_TRUE(loadAlarmSettings(store).problems.isEmpty());
    store.setValue("Alarms/ph2/low", "6,5");      // that limit off, the high one kept
    store.setValue("Alarms/ph2/high", "8");
    store.setValue("Alarms/therm1/high", "30");
    store.setValue("Alarms/therm1/delay", "soon"); // the whole row off
    store.setValue("Alarms/therm2/low", "40");     // low above high: the row off
    store.setValue("Alarms/therm2/high", "30");
    store.setValue("Alarms/therm/no_reading", "x");
  }
  QSettings store(path, QSettings::IniFormat);
  const LoadedSettings loaded = loadAlarmSettings(store);
  EXPECT_EQ(loaded.settings.limits[index(Alarm::Ph1)], (Limits{6.5, 7.5, 0.1, 10}));
  EXPECT_EQ(loaded.settings.limits[index(Alarm::Ph2)], (Limits{{}, 8.0, 0, 0}));
  EXPECT_EQ(loaded.settings.limits[index(Alarm::Therm1)], Limits{});
  EXPECT_EQ(loaded.settings.limits[index(Alarm::Therm2)], Limits{});
  EXPECT_EQ(loaded.settings.noReadingSeconds[static_cast<int>(state::Channel::Therm)], 0);
  EXPECT_EQ(loaded.settings.noReadingSeconds[static_cast<int>(state::Channel::Flow)], 15);
  EXPECT_EQ(loaded.problems,
            QStringList({"Alarm setting Alarms/ph2/low (\"6,5\") is not a number: that limit is off.",
                         "Alarm setting Alarms/therm1/delay (\"soon\") is not a number: the "
                         "limits of Thermistor 1 are off.",
                         "Stored alarm limits refused, Thermistor 2: the low limit must be below "
                         "the high limit. The limits are off.",
                         "Alarm setting Alarms/therm/no_reading (\"x\") is not a number: that "
                         "alarm is off."}));
  EXPECT_EQ(store.value("Coefficients/Probe1Slope").toString(), "1.02");
}

} // namespace
