// Alarms answered over the broker by the real program with --mqtt-commands: acknowledge, shelve
// and unshelve from any MQTT client, the sender named in the journal; every kind of bad command,
// and one left retained on the broker, refused, journaled and never acted on.
#include "publish/alarm_topics.h"
#include "tests/publish/broker.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>
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

void publish(int port, const QByteArray &topic, const QByteArray &payload, bool retain = false,
             const QStringList &login = {}) {
  QProcess pub;
  QStringList arguments{"-p", QString::number(port), "-t", QString::fromUtf8(topic), "-m",
                        QString::fromUtf8(payload), "-q", "1"};
  if (retain)
    arguments << "-r";
  arguments += login;
  pub.start("mosquitto_pub", arguments);
  ASSERT_TRUE(pub.waitForFinished(patience));
  ASSERT_EQ(pub.exitCode(), 0) << topic.toStdString();
}

QByteArray fileText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real program on simulated modules taking commands, its settings and journals in `home`,
// with pH 1 (about 7) above its high limit from the start, reading pH.
void startAlarmed(QProcess &program, const QTemporaryDir &home, const QStringList &mqtt) {
  QSettings(home.filePath("Quorran Science DGH Driver.conf"), QSettings::IniFormat)
      .setValue("Alarms/ph1/high", "1");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", home.path());
  environment.insert("XDG_STATE_HOME", home.path());
  program.setProcessEnvironment(environment);
  program.start(BRELLIS_PATH, QStringList{"--simulate"} + mqtt +
                                  QStringList{"--mqtt-commands", "--switch-on", "ph"});
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

  QTemporaryDir home;
  QProcess program;
  startAlarmed(program, home,
               {"--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port), "--mqtt-topic", "test/cmd"});
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

// The README's access control at work: everyone may read, only the lab's group may answer. A
// user outside it is turned away by the broker before Brellis hears of it.
TEST(MqttCommands, OnlyTheGroupTheBrokerLetsWriteCanAcknowledge) {
  QTemporaryDir files;
  const QString passwd = files.filePath("passwd"), acl = files.filePath("acl");
  for (const char *user : {"brellis-rig1", "anna", "bob"}) {
    QProcess make;
    QStringList arguments{"-b", passwd, user, QStringLiteral("%1-secret").arg(user)};
    if (!QFile::exists(passwd))
      arguments.prepend("-c"); // the first one makes the file
    make.start("mosquitto_passwd", arguments);
    ASSERT_TRUE(make.waitForFinished(patience));
    ASSERT_EQ(make.exitCode(), 0);
  }
  QFile rules(acl);
  ASSERT_TRUE(rules.open(QIODevice::WriteOnly));
  rules.write("pattern read #\n"
              "user brellis-rig1\ntopic readwrite brellis/rig1/#\n"
              "user anna\ntopic write brellis/+/command/#\n");
  rules.close();
  QFile secret(files.filePath("rig1.password"));
  ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
  secret.write("brellis-rig1-secret\n");
  secret.close();
  const int open = brokertest::freePort(), guarded = brokertest::freePort();
  Broker broker({"per_listener_settings true", QStringLiteral("listener %1 127.0.0.1").arg(open),
                 "allow_anonymous true", QStringLiteral("listener %1 127.0.0.1").arg(guarded),
                 "allow_anonymous false", "password_file " + passwd, "acl_file " + acl});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  Subscriber seen(open, "brellis/rig1/#"); // the test's own view, on a listener of its own
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.subscribed(); }, patience));

  QTemporaryDir home;
  QProcess program;
  startAlarmed(program, home,
               {"--mqtt", QStringLiteral("mqtt://brellis-rig1@127.0.0.1:%1").arg(guarded),
                "--mqtt-password-file", secret.fileName(), "--mqtt-topic", "brellis/rig1"});
  const auto stateIs = [&](const char *state) {
    return seen.last("brellis/rig1/alarm/ph1").value_or("").contains(QByteArray("\"state\":\"") +
                                                                    state + '"');
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return stateIs("active_unacknowledged"); }, patience))
      << program.readAllStandardError().toStdString();
  const QByteArray topic = "brellis/rig1/command/alarm/ph1/acknowledge";
  publish(guarded, topic, R"({"user":"bob"})", false, {"-u", "bob", "-P", "bob-secret"});
  publish(guarded, topic, R"({"user":"anna"})", false, {"-u", "anna", "-P", "anna-secret"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return stateIs("active_acknowledged"); }, patience));
  ::kill(pid_t(program.processId()), SIGTERM);
  ASSERT_TRUE(program.waitForFinished(patience));
  // bob's came first: had the broker let it through, the acknowledgement would be his.
  const QByteArray alarms = fileText(home.filePath("brellis/alarms.csv"));
  EXPECT_TRUE(alarms.contains(",mqtt:anna\n")) << alarms.toStdString();
  EXPECT_FALSE(alarms.contains("bob")) << alarms.toStdString();
  EXPECT_FALSE(fileText(home.filePath("brellis/events.csv")).contains("command_refused"));
}

// The retained daily sign of life: what a subscriber reads when the heartbeat went out.
TEST(MqttCommands, TheHeartbeatSaysWhatTheStationWasDoing) {
  alarms::HeartbeatSummary summary;
  summary.timeMs = QDateTime(QDate(2026, 12, 9), QTime(7, 0), QTimeZone::utc()).toMSecsSinceEpoch();
  summary.activeAlarms = 2;
  summary.channelsOn = {"ph", "therm"};
  summary.logFile = "/data/Lösung \"A\".csv";
  EXPECT_EQ(publish::heartbeatPayload(summary).toStdString(),
            "{\"time\":\"2026-12-09T07:00:00Z\",\"active_alarms\":2,\"channels_on\":[\"ph\","
            "\"therm\"],\"log_file\":\"/data/Lösung \\\"A\\\".csv\",\"last_record\":null}");
  summary.lastRecordMs = summary.timeMs - 1000;
  EXPECT_TRUE(publish::heartbeatPayload(summary).endsWith("\"last_record\":\"2026-12-09T06:59:59Z\"}"));
}

} // namespace
