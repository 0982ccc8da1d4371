#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace publish {

// Home Assistant's MQTT discovery: one retained config a sensor, on
// <discoveryPrefix>/sensor/<node>/<object>/config, for every reading published under
// `topicPrefix`. The readings with the operator's correction or offset are the main sensors
// ("pH 1", "Temp 1"); the stored values are announced beside them ("pH 1 raw"). All of a station's
// sensors share one device, named by the topic prefix. Each alarm is a binary_sensor of class
// problem on <discoveryPrefix>/binary_sensor/<node>/alarm_<key>/config, on while it is active.
// With `commands` (--mqtt-commands), a button "Acknowledge alarms" on
// <discoveryPrefix>/button/<node>/acknowledge_alarms/config sends alarms/acknowledge_all.
std::vector<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString &discoveryPrefix,
                                                                const QString &topicPrefix,
                                                                bool commands = false);

// The node id Home Assistant accepts ([a-zA-Z0-9_-]) made from a topic prefix: every other
// character becomes '_'.
QString discoveryNode(const QString &topicPrefix);

} // namespace publish
