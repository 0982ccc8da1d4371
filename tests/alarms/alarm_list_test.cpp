// The alarm list's columns, from the engine's states.
#include "alarms/alarm_list.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

using alarms::Alarm;

qint64 at(const char *time) {
  return QDateTime(QDate(2026, 12, 9), QTime::fromString(QLatin1String(time), "hh:mm:ss"))
      .toMSecsSinceEpoch();
}

TEST(AlarmList, SinceKeepsTheExcursionsStartAndTheOperatorsLastStepHasAColumnOfItsOwn) {
  alarms::AlarmEngine engine;
  alarms::AlarmSettings settings;
  settings.limits[alarms::index(Alarm::Ph1)].high = 8.2;
  engine.setSettings(settings, at("13:00:00"));
  alarms::AlarmList list;
  QTableWidget *table = list.table();
  QStringList headers;
  for (int column = 0; column < table->columnCount(); ++column)
    headers << table->horizontalHeaderItem(column)->text();
  EXPECT_EQ(headers, QStringList({"Alarm", "State", "Value", "Limit", "Since",
                                  "Acknowledged / Shelved"}));

  const int row = alarms::index(Alarm::Ph1);
  const auto shown = [&] {
    list.refresh(engine);
    return QStringList{table->item(row, 1)->text(), table->item(row, 4)->text(),
                       table->item(row, 5)->text()};
  };
  EXPECT_EQ(shown(), QStringList({"normal", "", ""}));
  engine.reading(state::Quantity::Ph1, 8.31, at("13:50:13"));
  EXPECT_EQ(shown(), QStringList({"high alarm, unacknowledged", "2026-12-09 13:50:13", ""}));
  engine.acknowledge(Alarm::Ph1, at("13:50:53"));
  EXPECT_EQ(shown(),
            QStringList({"high alarm, acknowledged", "2026-12-09 13:50:13", "2026-12-09 13:50:53"}));
  engine.shelve(Alarm::Ph1, at("14:51:00"), at("13:51:00"));
  engine.unshelve(Alarm::Ph1, at("13:52:30"));
  EXPECT_EQ(shown(), QStringList({"high alarm, unacknowledged", "2026-12-09 13:50:13",
                                  "2026-12-09 13:51:00"}));
}

} // namespace
