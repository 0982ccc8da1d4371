// Home Assistant discovery from the program itself: every config parsed and checked against Home
// Assistant's rules for MQTT sensors (required keys, units and state classes each device class
// accepts, one device), every state and availability topic one the program publishes; the configs
// again when Home Assistant says it is online; and the status first of everything published.
#include "tests/publish/broker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

std::map<QByteArray, QJsonObject> configs(const Subscriber &seen) {
  std::map<QByteArray, QJsonObject> found;
  for (const Subscriber::Message &message : seen.messages())
    if (message.topic.startsWith("homeassistant/") && message.topic.endsWith("/config"))
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
  // The corrected pH is the main sensor.
  EXPECT_EQ(found.at("homeassistant/sensor/lab_rig_1/ph1/config")["state_topic"],
            "lab/rig 1/ph1/corrected");

  // Home Assistant restarts: the configs come again.
  seen.clear();
  brokertest::publishMessages(port, {{"homeassistant/status", "online"}});
  EXPECT_TRUE(QTest::qWaitFor([&] { return configs(seen).size() == 15; }, patience));

  program.kill();
  program.waitForFinished();
}

} // namespace
