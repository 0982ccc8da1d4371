#include "publish/discovery.h"

#include "alarms/alarm_engine.h"
#include "publish/topics.h"
#include "publish/payloads.h"
#include "state/quantities.h"

#include <QCoreApplication>

namespace publish {
namespace {

// Seconds after the last reading at which Home Assistant shows a sensor as unavailable: a channel
// switched off or a program stopped without its last will (the slowest update rate is 1 s).
constexpr int expireAfterSeconds = 30;

struct Sensor {
  QString object;  // unique within the node
  QString name;    // as Home Assistant lists it
  QByteArray topic; // under the topic prefix
  const char *unit;
};

// Home Assistant's device class for a unit; null where it has none that fits.
const char *deviceClass(const QByteArray &unit) {
  if (unit == "°C")
    return "temperature";
  if (unit == "pH")
    return "ph";
  if (unit == "mV")
    return "voltage";
  if (unit == "Hz")
    return "frequency";
  if (unit == "L/min")
    return "volume_flow_rate";
  if (unit == "L")
    return "volume";
  return nullptr;
}

std::vector<Sensor> sensors() {
  std::vector<Sensor> list;
  for (const state::QuantityInfo &quantity : state::quantities) {
    const QString key = QString::fromLatin1(quantity.key);
    const QString name = QString::fromUtf8(quantity.name);
    const topics::QuantityTopic &names = topics::of(quantity.quantity);
    if (names.correctedTopic) {
      // The window's own figure is the main sensor; the stored value is its raw companion.
      list.push_back({key, QString::fromUtf8(names.correctedName), names.correctedTopic,
                      quantity.unit});
      list.push_back({key + QStringLiteral("_raw"), name + QStringLiteral(" raw"), names.topic,
                      quantity.unit});
    } else {
      list.push_back({key, name, names.topic, quantity.unit});
    }
  }
  return list;
}

} // namespace

QString discoveryNode(const QString &topicPrefix) {
  QString node = topicPrefix;
  for (QChar &c : node)
    if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') &&
        c != QLatin1Char('-'))
      c = QLatin1Char('_');
  return node;
}

namespace {

QByteArray deviceJson(const QString &node, const QString &topicPrefix) {
  QByteArray device = "{\"identifiers\":[";
  appendJsonString(device, QStringLiteral("brellis_") + node);
  device += "],\"name\":";
  appendJsonString(device, QStringLiteral("Brellis ") + topicPrefix);
  device += ",\"model\":\"Brellis\",\"manufacturer\":\"Quorran Science\",\"sw_version\":";
  appendJsonString(device, QCoreApplication::applicationVersion().isEmpty()
                               ? QStringLiteral(BRELLIS_VERSION)
                               : QCoreApplication::applicationVersion());
  return device + '}';
}

// {"name":...,"unique_id":...,"object_id":...,"state_topic":...
QByteArray configHead(const QString &name, const QString &id, const QString &stateTopic) {
  QByteArray config = "{\"name\":";
  appendJsonString(config, name);
  config += ",\"unique_id\":";
  appendJsonString(config, id);
  config += ",\"object_id\":";
  appendJsonString(config, id);
  config += ",\"state_topic\":";
  appendJsonString(config, stateTopic);
  return config;
}

// ...,"availability_topic":...,["expire_after":...,]"device":{...}}; 0 seconds: no expiry.
QByteArray configTail(const QString &topicPrefix, int expireAfter, const QByteArray &device) {
  QByteArray config = ",\"availability_topic\":";
  appendJsonString(config, topicPrefix + QStringLiteral("/status"));
  config += ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"";
  if (expireAfter > 0)
    config += ",\"expire_after\":" + QByteArray::number(expireAfter);
  return config + ",\"device\":" + device + '}';
}

QByteArray sensorConfig(const Sensor &sensor, const QString &node, const QString &topicPrefix,
                        const QByteArray &device) {
  const QByteArray unit(sensor.unit);
  const char *type = deviceClass(unit);
  QByteArray config =
      configHead(sensor.name, QStringLiteral("brellis_%1_%2").arg(node, sensor.object),
                 topicPrefix + QLatin1Char('/') + QString::fromLatin1(sensor.topic));
  config += ",\"value_template\":\"{{ value_json.value }}\"";
  // pH's class takes no unit.
  if (unit != "pH") {
    config += ",\"unit_of_measurement\":";
    appendJsonString(config, QString::fromUtf8(unit));
  }
  if (type) {
    config += ",\"device_class\":\"";
    config += type;
    config += '"';
  }
  // The total only grows, until the operator resets it: Home Assistant takes a fall of a
  // total_increasing sensor as the start of a new cycle, which is what a reset is.
  config += unit == "L" ? ",\"state_class\":\"total_increasing\""
                        : ",\"state_class\":\"measurement\"";
  return config + configTail(topicPrefix, expireAfterSeconds, device);
}

// A problem sensor on the alarm's retained topic: on while the condition is present (active,
// acknowledged or not), as the station view shows it. No expire_after: the topic changes only
// with the alarm, and stays true while the station is online.
QByteArray alarmConfig(alarms::Alarm alarm, const QString &node, const QString &topicPrefix,
                       const QByteArray &device) {
  const QString key = alarms::key(alarm);
  QByteArray config = configHead(alarms::name(alarm) + QStringLiteral(" alarm"),
                                 QStringLiteral("brellis_%1_alarm_%2").arg(node, key),
                                 topicPrefix + QLatin1Char('/') + QLatin1String(topics::alarmPrefix) + key);
  config += ",\"value_template\":";
  appendJsonString(config, QStringLiteral("{{ 'ON' if value_json.state in ('%1', '%2') else 'OFF' }}")
                               .arg(alarms::stateKey(alarms::AlarmState::ActiveUnacknowledged),
                                    alarms::stateKey(alarms::AlarmState::ActiveAcknowledged)));
  config += ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"device_class\":\"problem\"";
  return config + configTail(topicPrefix, 0, device);
}

} // namespace

std::vector<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString &discoveryPrefix,
                                                                const QString &topicPrefix,
                                                                bool commands) {
  const QString node = discoveryNode(topicPrefix);
  const QByteArray device = deviceJson(node, topicPrefix);
  std::vector<std::pair<QByteArray, QByteArray>> configs;
  for (const Sensor &sensor : sensors())
    configs.emplace_back(
        (discoveryPrefix + QStringLiteral("/sensor/%1/%2/config").arg(node, sensor.object))
            .toUtf8(),
        sensorConfig(sensor, node, topicPrefix, device));
  for (const alarms::Alarm alarm : alarms::allAlarms)
    configs.emplace_back((discoveryPrefix + QStringLiteral("/binary_sensor/%1/alarm_%2/config")
                                                .arg(node, alarms::key(alarm)))
                             .toUtf8(),
                         alarmConfig(alarm, node, topicPrefix, device));
  if (commands) {
    const QString id = QStringLiteral("brellis_%1_acknowledge_alarms").arg(node);
    QByteArray config = "{\"name\":\"Acknowledge alarms\",\"unique_id\":";
    appendJsonString(config, id);
    config += ",\"object_id\":";
    appendJsonString(config, id);
    config += ",\"command_topic\":";
    appendJsonString(config, topicPrefix + QLatin1Char('/') + QLatin1String(topics::commandPrefix) +
                                 QStringLiteral("alarms/acknowledge_all"));
    config += ",\"payload_press\":\"{\\\"user\\\":\\\"home_assistant\\\"}\"";
    configs.emplace_back(
        (discoveryPrefix + QStringLiteral("/button/%1/acknowledge_alarms/config").arg(node)).toUtf8(),
        config + configTail(topicPrefix, 0, device));
  }
  return configs;
}

} // namespace publish
