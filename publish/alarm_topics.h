#pragma once

#include "alarms/alarm_monitor.h"

#include <QByteArray>

namespace publish {

class MqttPublisher;

// {"state":"active_unacknowledged","condition":"high","value":8.31,"limit":8.2,
//  "since":"2026-12-09T03:12:45Z"}; the condition of the current or latest excursion (high, low,
// no_reading); null where there is no condition, number or time.
QByteArray alarmPayload(const alarms::AlarmStatus &status);

// Keeps the retained topics <prefix>/alarm/<key> of every alarm and <prefix>/alarms/active (the
// number of alarms whose condition is present) up to date with the monitor, from now on.
// The daily sign of life on the retained <prefix>/heartbeat: {"time":...,"active_alarms":0,
// "channels_on":["ph"],"log_file":"...","last_record":... or null}.
QByteArray heartbeatPayload(const alarms::HeartbeatSummary &summary);

void publishAlarms(MqttPublisher &publisher, alarms::AlarmMonitor &monitor);

} // namespace publish
