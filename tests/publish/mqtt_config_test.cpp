// The command line's MQTT options: what is accepted, and the operator's message for what is not.
#include "publish/mqtt_config.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(MqttConfig, AddressesFilesAndPrefixesAreCheckedAtStart) {
  QTemporaryDir dir;
  const QString secret = dir.filePath("secret");
  const QString ca = dir.filePath("ca.pem");
  for (const QString &path : {secret, ca}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cr et\r\n");
  }
  const QString missing = dir.filePath("missing");

  struct Case {
    const char *url;
    QString ca;
    QString prefix;
    QString passwordFile;
    const char *error; // nullptr: accepted
  };
  const Case cases[] = {
      {"broker.lab:1883", {}, {}, {}, "is not a broker address"},
      {"mqtt://", {}, {}, {}, "is not a broker address"},
      {"mqtt://broker.lab:99999", {}, {}, {}, "is not a broker address"},
      {"mqtt://broker.lab/some/path", {}, {}, {}, "is not a broker address"},
      {"http://broker.lab", {}, {}, {}, "unknown scheme \"http\""},
      {"mqtt://ann:pw@broker.lab", {}, {}, {}, "a password in the address is refused"},
      {"mqtt://ann@broker.lab", {}, {}, missing, "--mqtt-password-file: cannot read"},
      {"mqtt://ann@broker.lab", {}, {}, dir.path(), "--mqtt-password-file: cannot read"},
      {"mqtt://broker.lab", {}, {}, secret, "needs a user name"},
      {"mqtt://broker.lab", ca, {}, {}, "for mqtts:// addresses only"},
      {"mqtts://broker.lab", missing, {}, {}, "--mqtt-ca: cannot read"},
      {"mqtt://broker.lab", {}, "lab/+/rig", {}, "'+', '#' or a NUL"},
      {"mqtt://broker.lab", {}, "lab/#", {}, "'+', '#' or a NUL"},
      {"mqtt://broker.lab", {}, QString::fromUtf8("lab\0rig", 7), {}, "'+', '#' or a NUL"},
      {"mqtt://broker.lab", {}, {}, {}, nullptr},
  };
  for (const Case &c : cases) {
    const publish::MqttConfigResult result =
        publish::makeMqttConfig(c.url, c.ca, c.prefix, c.passwordFile, "rig7");
    SCOPED_TRACE(c.url);
    if (c.error) {
      EXPECT_FALSE(result.config);
      EXPECT_TRUE(result.error.contains(QLatin1String(c.error))) << result.error.toStdString();
    } else {
      EXPECT_TRUE(result.config) << result.error.toStdString();
    }
  }

  // What an accepted address gives: defaults, the user, the password without its line break.
  const publish::MqttConfigResult plain =
      publish::makeMqttConfig("mqtt://broker.lab", {}, {}, {}, "rig7");
  ASSERT_TRUE(plain.config);
  EXPECT_EQ(plain.config->port, 1883);
  EXPECT_FALSE(plain.config->tls);
  EXPECT_EQ(plain.config->topicPrefix, "brellis/rig7");

  const publish::MqttConfigResult tls =
      publish::makeMqttConfig("MQTTS://ann@broker.lab", ca, "lab/rig/", secret, "rig7");
  ASSERT_TRUE(tls.config) << tls.error.toStdString();
  EXPECT_TRUE(tls.config->tls);
  EXPECT_EQ(tls.config->port, 8883);
  EXPECT_EQ(tls.config->host, "broker.lab");
  EXPECT_EQ(tls.config->user, "ann");
  EXPECT_EQ(tls.config->password, "s3cr et");
  EXPECT_EQ(tls.config->caFile, ca);
  EXPECT_EQ(tls.config->topicPrefix, "lab/rig");

  const publish::MqttConfigResult port =
      publish::makeMqttConfig("mqtt://[::1]:2883", {}, {}, {}, "rig7");
  ASSERT_TRUE(port.config);
  EXPECT_EQ(port.config->host, "::1");
  EXPECT_EQ(port.config->port, 2883);
}

} // namespace
