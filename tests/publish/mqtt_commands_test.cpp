// Alarms answered over the broker by the real program with --mqtt-commands: acknowledge, shelve
// and unshelve from any MQTT client, the sender named in the journal; every kind of bad command,
// and one left retained on the broker, refused, journaled and never acted on.
#include "tests/publish/broker.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using brokertest::Broker;
using brokertest::Subscriber;

constexpr int patience = 30000; // the machine may be busy

void publish(int port, const QByteArray &topic, const QByteArray &payload, bool retain = false) {
  QProcess pub;
  QStringList arguments{"-p", QString::number(port), "-t", QString::fromUtf8(topic), "-m",
                        QString::fromUtf8(payload), "-q", "1"};
  if (retain)
    arguments << "-r";
  pub.start("mosquitto_pub", arguments);
  ASSERT_TRUE(pub.waitForFinished(patience));
  ASSERT_EQ(pub.exitCode(), 0) << topic.toStdString();
}

QByteArray fileText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(MqttCommands, AlarmsAreAnsweredFromAfarAndBadOrRetainedCommandsAreRefused) {
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  // Left on the broker by someone long ago: it must not acknowledge anything.
  publish(port, "test/cmd/command/alarms/acknowledge_all", R"({"user":"ghost"})", true);
  Subscriber seen(port, "test/cmd/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.subscribed(); }, patience));

  QTemporaryDir home; // pH 1 (about 7) is above its high limit from the start
  QSettings(home.filePath("Quorran Science DGH Driver.conf"), QSettings::IniFormat)
      .setValue("Alarms/ph1/high", "1");
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", home.path());
  environment.insert("XDG_STATE_HOME", home.path());
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
  program.start(BRELLIS_PATH, {"--simulate", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port),
                               "--mqtt-topic", "test/cmd", "--mqtt-commands", "--switch-on", "ph"});
  const auto alarmState = [&](const char *state) {
    return [&seen, state] {
      return seen.last("test/cmd/alarm/ph1").value_or("").contains(
          QByteArray("\"state\":\"") + state + '"');
    };
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.last("test/cmd/commands") == "on"; }, patience));
  ASSERT_TRUE(QTest::qWaitFor(alarmState("active_unacknowledged"), patience))
      << program.readAllStandardError().toStdString();

  const std::pair<QByteArray, QByteArray> bad[] = {
      {"alarm/ph9/acknowledge", ""},          // no such alarm
      {"alarm/ph1/dance", ""},                // no such action
      {"alarms/everything", ""},              // no such command
      {"alarm/ph1/shelve", "0"},              // minutes out of range
      {"alarm/ph1/shelve", "1441"},
      {"alarm/ph1/acknowledge", "not json"},  // a payload that is no object
      {"alarm/ph1/acknowledge", QByteArray(1025, ' ')},  // over 1 KiB
  };
  for (const auto &[suffix, payload] : bad)
    publish(port, "test/cmd/command/" + suffix, payload);
  publish(port, "test/cmd/command/alarm/ph1/acknowledge", R"({"user":"anna"})");
  ASSERT_TRUE(QTest::qWaitFor(alarmState("active_acknowledged"), patience));
  publish(port, "test/cmd/command/alarm/ph1/shelve", R"({"minutes":30,"user":"ben"})");
  ASSERT_TRUE(QTest::qWaitFor(alarmState("shelved"), patience));
  publish(port, "test/cmd/command/alarm/ph1/unshelve", "");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !alarmState("shelved")(); }, patience));

  ::kill(pid_t(program.processId()), SIGTERM);
  ASSERT_TRUE(program.waitForFinished(patience));
  const QByteArray alarms = fileText(home.filePath("brellis/alarms.csv"));
  // Each answer journaled as the operator's own would be, with the sender the command named.
  const auto answered = [&](const QByteArray &event, const QByteArray &user) {
    for (const QByteArray &line : alarms.split('\n'))
      if (line.contains(",ph1," + event + ",") && line.endsWith("," + user))
        return true;
    return false;
  };
  EXPECT_TRUE(answered("acknowledged", "mqtt:anna")) << alarms.toStdString();
  EXPECT_TRUE(answered("shelved", "mqtt:ben")) << alarms.toStdString();
  EXPECT_TRUE(answered("unshelved", "mqtt")) << alarms.toStdString();
  EXPECT_FALSE(alarms.contains("ghost"));
  const QByteArray events = fileText(home.filePath("brellis/events.csv"));
  EXPECT_EQ(events.count(",command_refused,"), qsizetype(std::size(bad)) + 1)
      << events.toStdString();
  EXPECT_TRUE(events.contains("test/cmd/command/alarms/acknowledge_all: it is retained"))
      << events.toStdString();
}

} // namespace
