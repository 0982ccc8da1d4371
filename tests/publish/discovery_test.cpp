// Home Assistant discovery from the program itself: every config parsed and checked against Home
// Assistant's rules for MQTT sensors (required keys, units and state classes each device class
// accepts, one device), every state and availability topic one the program publishes, the alarms'
// problem sensors on when their topic says an alarm is active; the configs again when Home
// Assistant says it is online; and the status first of everything published.
#include "publish/discovery.h"
#include "tests/publish/broker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <mosquitto.h>

#include <gtest/gtest.h>

#include <map>

namespace {

using brokertest::Broker;
using brokertest::Subscriber;

constexpr int patience = 60000;

// Home Assistant's sensor device classes that a Brellis may use: the units each accepts (an empty
// set: no unit at all) and its state classes.
struct ClassRule {
  QSet<QString> units;
  QSet<QString> stateClasses;
};
const std::map<QString, ClassRule> rules = {
    {"temperature", {{"°C", "°F", "K"}, {"measurement"}}},
    {"ph", {{}, {"measurement"}}},
    {"voltage", {{"V", "mV", "µV", "kV", "MV"}, {"measurement"}}},
    {"frequency", {{"Hz", "kHz", "MHz", "GHz"}, {"measurement"}}},
    {"volume_flow_rate", {{"m³/h", "ft³/min", "L/min", "gal/min", "mL/s"}, {"measurement"}}},
    {"volume", {{"L", "mL", "gal", "fl. oz.", "m³", "ft³", "CCF"}, {"total", "total_increasing"}}},
};

// The configs of one component: "sensor" (the readings) or "binary_sensor" (the alarms).
std::map<QByteArray, QJsonObject> configs(const Subscriber &seen,
                                          const QByteArray &component = "sensor") {
  std::map<QByteArray, QJsonObject> found;
  for (const Subscriber::Message &message : seen.messages())
    if (message.topic.startsWith("homeassistant/" + component + '/') &&
        message.topic.endsWith("/config"))
      found[message.topic] = QJsonDocument::fromJson(message.payload).object();
  return found;
}

TEST(Discovery, ConfigsFollowHomeAssistantsRulesAndNameOnlyTopicsThatArePublished) {
  mosquitto_lib_init();
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  Subscriber seen(port, "#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.subscribed(); }, patience));

  QTemporaryDir config;
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", config.path());
  program.setProcessEnvironment(environment);
  program.start(BRELLIS_PATH,
                {"--simulate", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port),
                 "--mqtt-topic", "lab/rig 1", "--mqtt-discovery", "--switch-on", "ph,flow,therm"});
  // Every reading arrives, the corrected ones too.
  const QByteArrayList expected{"ph1/corrected", "therm3/celsius_with_offset", "flow/total_liters"};
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (const QByteArray &topic : expected)
          if (!seen.last("lab/rig 1/" + topic))
            return false;
        return configs(seen).size() >= 15;
      },
      patience))
      << program.readAllStandardError().toStdString();

  // The status is the first thing the program published.
  for (const Subscriber::Message &message : seen.messages())
    if (message.topic.startsWith("lab/rig 1/")) {
      EXPECT_EQ(message.topic, "lab/rig 1/status");
      EXPECT_EQ(message.payload, "online");
      break;
    }

  QSet<QByteArray> published;
  for (const Subscriber::Message &message : seen.messages())
    published.insert(message.topic);
  const std::map<QByteArray, QJsonObject> found = configs(seen);
  EXPECT_EQ(found.size(), 15u);
  QSet<QString> uniqueIds;
  QJsonObject firstDevice;
  for (const auto &[topic, sensor] : found) {
    SCOPED_TRACE(topic.toStdString());
    EXPECT_TRUE(topic.startsWith("homeassistant/sensor/lab_rig_1/") && topic.endsWith("/config"));
    for (const char *key : {"name", "unique_id", "state_topic", "value_template",
                            "availability_topic", "state_class", "device"})
      EXPECT_TRUE(sensor.contains(key)) << key;
    EXPECT_FALSE(uniqueIds.contains(sensor["unique_id"].toString()));
    uniqueIds.insert(sensor["unique_id"].toString());
    EXPECT_TRUE(published.contains(sensor["state_topic"].toString().toUtf8()))
        << sensor["state_topic"].toString().toStdString();
    EXPECT_EQ(sensor["availability_topic"], "lab/rig 1/status");
    EXPECT_EQ(sensor["payload_available"], "online");
    EXPECT_EQ(sensor["payload_not_available"], "offline");
    EXPECT_GT(sensor["expire_after"].toInt(), 0);
    // The template reads the number out of what the state topic carries.
    EXPECT_EQ(sensor["value_template"], "{{ value_json.value }}");
    const QJsonObject state = QJsonDocument::fromJson(
        seen.last(sensor["state_topic"].toString().toUtf8()).value_or("{}")).object();
    EXPECT_TRUE(state["value"].isDouble());
    EXPECT_EQ(state["unit"].toString(),
              sensor.contains("unit_of_measurement") ? sensor["unit_of_measurement"].toString()
                                                     : QStringLiteral("pH"));
    const QString deviceClass = sensor["device_class"].toString();
    if (!deviceClass.isEmpty()) {
      ASSERT_TRUE(rules.count(deviceClass)) << deviceClass.toStdString();
      const ClassRule &rule = rules.at(deviceClass);
      if (rule.units.isEmpty())
        EXPECT_FALSE(sensor.contains("unit_of_measurement"));
      else
        EXPECT_TRUE(rule.units.contains(sensor["unit_of_measurement"].toString()));
      EXPECT_TRUE(rule.stateClasses.contains(sensor["state_class"].toString()));
    }
    const QJsonObject device = sensor["device"].toObject();
    EXPECT_EQ(device["model"], "Brellis");
    EXPECT_FALSE(device["sw_version"].toString().isEmpty());
    EXPECT_FALSE(device["identifiers"].toArray().isEmpty());
    if (firstDevice.isEmpty())
      firstDevice = device;
    EXPECT_EQ(device, firstDevice); // one device for all of a station's sensors
  }
  // The alarms: problem sensors on the alarm topics, on exactly while an alarm is active.
  const QSet<QString> alarmStates{"normal", "active_unacknowledged", "active_acknowledged",
                                  "returned_unacknowledged", "shelved"};
  const QRegularExpression onWhen(
      R"(^\{\{ '(\w+)' if value_json\.state in \('(\w+)', '(\w+)'\) else '(\w+)' \}\}$)");
  const std::map<QByteArray, QJsonObject> alarms = configs(seen, "binary_sensor");
  EXPECT_EQ(alarms.size(), 9u);
  for (const auto &[topic, alarm] : alarms) {
    SCOPED_TRACE(topic.toStdString());
    EXPECT_TRUE(topic.startsWith("homeassistant/binary_sensor/lab_rig_1/alarm_"));
    EXPECT_EQ(alarm["device_class"], "problem");
    EXPECT_FALSE(alarm.contains("unit_of_measurement") || alarm.contains("expire_after") ||
                 alarm.contains("state_class"));
    EXPECT_FALSE(uniqueIds.contains(alarm["unique_id"].toString()));
    uniqueIds.insert(alarm["unique_id"].toString());
    EXPECT_FALSE(alarm["name"].toString().isEmpty());
    EXPECT_EQ(alarm["availability_topic"], "lab/rig 1/status");
    EXPECT_EQ(alarm["payload_available"], "online");
    EXPECT_EQ(alarm["payload_not_available"], "offline");
    EXPECT_EQ(alarm["device"].toObject(), firstDevice);
    const QByteArray stateTopic = alarm["state_topic"].toString().toUtf8();
    ASSERT_TRUE(published.contains(stateTopic)) << stateTopic.toStdString();
    const QRegularExpressionMatch template_ = onWhen.match(alarm["value_template"].toString());
    ASSERT_TRUE(template_.hasMatch()) << alarm["value_template"].toString().toStdString();
    EXPECT_EQ(template_.captured(1), alarm["payload_on"].toString());
    EXPECT_EQ(template_.captured(4), alarm["payload_off"].toString());
    EXPECT_EQ(QSet<QString>({template_.captured(2), template_.captured(3)}),
              QSet<QString>({"active_unacknowledged", "active_acknowledged"}));
    // What the program publishes there is a state the template knows; here every alarm is normal.
    const QString state =
        QJsonDocument::fromJson(seen.last(stateTopic).value_or("{}")).object()["state"].toString();
    EXPECT_TRUE(alarmStates.contains(state)) << state.toStdString();
    EXPECT_EQ(state, "normal");
  }

  // The corrected pH is the main sensor.
  EXPECT_EQ(found.at("homeassistant/sensor/lab_rig_1/ph1/config")["state_topic"],
            "lab/rig 1/ph1/corrected");

  // Home Assistant restarts: the configs come again.
  seen.clear();
  brokertest::publishMessages(port, {{"homeassistant/status", "online"}});
  EXPECT_TRUE(QTest::qWaitFor([&] { return configs(seen).size() == 15; }, patience));
  EXPECT_TRUE(QTest::qWaitFor([&] { return configs(seen, "binary_sensor").size() == 9; }, patience));

  program.kill();
  program.waitForFinished();
}

// The "Acknowledge alarms" button is announced only where the station takes commands, and sends
// what the station takes.
TEST(Discovery, AnAcknowledgeButtonOnlyWhereCommandsAreTaken) {
  for (const bool commands : {false, true}) {
    int buttons = 0;
    for (const auto &[topic, config] : publish::discoveryConfigs("ha", "lab/rig 1", commands)) {
      if (!topic.startsWith("ha/button/"))
        continue;
      ++buttons;
      EXPECT_EQ(topic, "ha/button/lab_rig_1/acknowledge_alarms/config");
      const QJsonObject button = QJsonDocument::fromJson(config).object();
      EXPECT_EQ(button.value("name").toString(), "Acknowledge alarms");
      EXPECT_EQ(button.value("command_topic").toString(),
                "lab/rig 1/command/alarms/acknowledge_all");
      EXPECT_EQ(button.value("availability_topic").toString(), "lab/rig 1/status");
      EXPECT_EQ(QJsonDocument::fromJson(button.value("payload_press").toString().toUtf8())
                    .object()
                    .value("user")
                    .toString(),
                "home_assistant");
      EXPECT_TRUE(button.value("device").isObject());
    }
    EXPECT_EQ(buttons, commands ? 1 : 0);
  }
}

} // namespace
