#pragma once

#include "alarms/alarm_engine.h"

#include <QSettings>
#include <QString>
#include <QStringList>

namespace alarms {

// Why a row of limits cannot be used, naming the row ("pH 1: ..."), or empty when it can.
QString refusal(const QString &row, const Limits &limits);
QString refusalOfNoReading(const QString &row, double seconds);

// The settings store's section of its own.
inline constexpr char settingsGroup[] = "Alarms";

struct LoadedSettings {
  AlarmSettings settings;
  // One line for each stored value that could not be used; its limit is off.
  QStringList problems;
};

// Reads and writes only the "Alarms" group. Numbers are stored with "." decimals, whatever the
// operator's locale; a limit that is off has no key.
LoadedSettings loadAlarmSettings(QSettings &store);
void saveAlarmSettings(QSettings &store, const AlarmSettings &settings);

} // namespace alarms
