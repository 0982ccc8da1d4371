// Publishing against a real mosquitto: the main window on the simulated modules publishes its
// readings, switches and calibration; the broker goes away and comes back while the read ticks go
// on; TLS with certificates made here; a refused password; the program's command line.
#include "tests/publish/broker.h"
#include "tests/publish/publishing_window.h"
#include "tests/support/simulated_window.h"

#include "console/frm_main.h"
#include "instrument/clock.h"
#include "publish/mqtt_publisher.h"
#include "widgets/two_state_switch.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using brokertest::Broker;
using brokertest::Subscriber;

// Generous: the machine running the tests may be busy.
constexpr int patience = 30000;

QString writeFile(const QString &path, const QByteArray &contents) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return QString();
  file.write(contents);
  return path;
}

bool has(const Subscriber &subscriber, const QByteArray &topic, const QByteArray &payload) {
  return subscriber.last(topic) == payload;
}

struct ReadingTopic {
  const char *topic;
  const char *unit;
  double AcquisitionState::*field;
};

const ReadingTopic readingTopics[] = {
    {"ph1/value", "pH", &AcquisitionState::ph1Value},
    {"ph1/mV", "mV", &AcquisitionState::ph1mV},
    {"ph2/value", "pH", &AcquisitionState::ph2Value},
    {"ph2/mV", "mV", &AcquisitionState::ph2mV},
    {"therm1/celsius", "°C", &AcquisitionState::therm1Temp},
    {"therm2/celsius", "°C", &AcquisitionState::therm2Temp},
    {"therm3/celsius", "°C", &AcquisitionState::therm3Temp},
    {"flow/hz", "Hz", &AcquisitionState::flowHz},
    {"flow/liters_per_min", "L/min", &AcquisitionState::litersPerMin},
    {"flow/total_liters", "L", &AcquisitionState::totalLiters},
};

TEST(MqttBroker, ReadingsSwitchesAndCalibrationArePublishedAndResumeAfterTheBrokerRestarts) {
  brokertest::PublishingWindow publishing;
  ASSERT_TRUE(publishing.start(7)) << publishing.broker.log().toStdString();
  const int port = publishing.port;
  Broker &broker = publishing.broker;
  testsupport::SimulatedWindow &rig = *publishing.rig;
  frmMain &window = rig.window;
  ASSERT_TRUE(window.load());
  auto *publisher = window.findChild<publish::MqttPublisher *>("mqttPublisher");
  auto *label = window.findChild<QLabel *>("lblMqtt");
  ASSERT_TRUE(publisher && label);

  QElapsedTimer elapsed;
  elapsed.start();
  std::vector<qint64> ticks;
  QObject::connect(window.findChild<QTimer *>("tmrRd"), &QTimer::timeout,
                   [&] { ticks.push_back(elapsed.elapsed()); });

  auto subscriber = std::make_unique<Subscriber>(port, "test/rig/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber->subscribed(); }, patience));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return publisher->connectionState() == publish::ConnectionState::Connected; },
      patience))
      << publisher->stateText().toStdString();
  EXPECT_EQ(label->text(), "MQTT: connected");
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return has(*subscriber, "test/rig/status", "online"); }, patience));
  // The switches go out right behind the status: seeing the status does not mean they are here.
  EXPECT_TRUE(QTest::qWaitFor([&] { return has(*subscriber, "test/rig/switch/ph", "off"); },
                              patience));

  // The calibration loaded at start, and again after the operator's change.
  const auto calibration = [&](const char *topic) {
    return QJsonDocument::fromJson(subscriber->last(topic).value_or("{}")).object();
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return !calibration("test/rig/ph2/calibration").isEmpty(); },
                              patience));
  const QJsonObject probe2 = calibration("test/rig/ph2/calibration");
  EXPECT_EQ(probe2.value("offset").toDouble(), window.state().probe2Offset);
  EXPECT_EQ(probe2.value("slope").toDouble(), window.state().probe2Slope);
  EXPECT_EQ(probe2.value("serial").toString(), window.state().probe2Serial);
  EXPECT_EQ(probe2.value("date").toString(), window.state().probe2CalDate.toString(Qt::ISODate));
  window.state().probe1Serial = QStringLiteral("PX-\"9\"");
  window.state().probe1CalDate = QDate(2026, 12, 1);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return calibration("test/rig/ph1/calibration").value("serial") == "PX-\"9\""; },
      patience));
  EXPECT_EQ(calibration("test/rig/ph1/calibration").value("date"), "2026-12-01");

  // Every channel on, at 250 ms.
  for (const char *name : {"cwbPh", "cwbFlow", "cwbTherm"})
    window.findChild<widgets::TwoStateSwitch *>(name)->setChecked(true);
  window.findChild<QComboBox *>("cmbUpdate")->setCurrentIndex(2);
  window.findChild<QPushButton *>("CWupdateRate")->click();
  for (const ReadingTopic &reading : readingTopics) {
    const QByteArray topic = QByteArray("test/rig/") + reading.topic;
    ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber->last(topic).has_value(); }, patience))
        << topic.toStdString();
    const QJsonObject payload = QJsonDocument::fromJson(*subscriber->last(topic)).object();
    EXPECT_TRUE(payload.value("value").isDouble()) << topic.toStdString();
    EXPECT_EQ(payload.value("unit").toString(), QString::fromUtf8(reading.unit));
    const QDateTime time =
        QDateTime::fromString(payload.value("time").toString(), Qt::ISODateWithMs);
    EXPECT_TRUE(time.isValid()) << payload.value("time").toString().toStdString();
    EXPECT_LT(std::abs(time.secsTo(QDateTime::currentDateTimeUtc())), 600);
  }
  EXPECT_TRUE(has(*subscriber, "test/rig/switch/ph", "on"));
  EXPECT_TRUE(has(*subscriber, "test/rig/switch/therm", "on"));
  EXPECT_TRUE(rig.messages.shown.empty());

  // The broker goes away: the window shows it, the ticks go on, readings are dropped.
  broker.stop();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return publisher->connectionState() == publish::ConnectionState::Retrying; },
      patience));
  EXPECT_EQ(label->text(), "MQTT: retrying");
  const qint64 droppedBefore = publisher->droppedReadings();
  const size_t ticksBefore = ticks.size();
  QTest::qWait(1500);
  EXPECT_GT(ticks.size(), ticksBefore);
  EXPECT_GT(publisher->droppedReadings(), droppedBefore);

  // It comes back without persistence: the retained topics come again and readings resume.
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  subscriber = std::make_unique<Subscriber>(port, "test/rig/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber->subscribed(); }, patience));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return has(*subscriber, "test/rig/status", "online"); }, patience));
  for (const ReadingTopic &reading : readingTopics) {
    const QByteArray topic = QByteArray("test/rig/") + reading.topic;
    ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber->last(topic).has_value(); }, patience))
        << topic.toStdString();
  }
  EXPECT_TRUE(has(*subscriber, "test/rig/switch/flow", "on"));
  EXPECT_EQ(calibration("test/rig/ph1/calibration").value("serial"), "PX-\"9\"");
  EXPECT_EQ(label->text(), "MQTT: connected");

  // The read ticks kept their period throughout (loosely: a blocked window shows as seconds).
  qint64 longestGap = 0;
  for (size_t k = 1; k < ticks.size(); ++k)
    longestGap = std::max(longestGap, ticks[k] - ticks[k - 1]);
  EXPECT_LT(longestGap, 2500) << "ticks: " << ticks.size();

  // Once the channels are off, what the broker got last is what the readers stored last.
  for (const char *name : {"cwbPh", "cwbFlow", "cwbTherm"})
    window.findChild<widgets::TwoStateSwitch *>(name)->setChecked(false);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return has(*subscriber, "test/rig/switch/therm", "off"); }, patience));
  for (const ReadingTopic &reading : readingTopics) {
    const QByteArray topic = QByteArray("test/rig/") + reading.topic;
    const QJsonObject payload =
        QJsonDocument::fromJson(subscriber->last(topic).value_or("{}")).object();
    EXPECT_EQ(payload.value("value").toDouble(), window.state().*reading.field)
        << topic.toStdString();
  }
}

// A publisher with one change of its own: everything else as the command line would give it.
publish::MqttConfig plainConfig(int port, const QString &prefix) {
  publish::MqttConfig config;
  config.host = QStringLiteral("127.0.0.1");
  config.port = port;
  config.topicPrefix = prefix;
  return config;
}

TEST(MqttBroker, TheRightPasswordConnectsAndAWrongOneStopsPublishingWithoutRetrying) {
  QTemporaryDir dir;
  const QString passwords = dir.filePath("passwords");
  ASSERT_EQ(brokertest::run("mosquitto_passwd", {"-b", "-c", passwords, "ann", "right"}), 0);
  const int port = brokertest::freePort();
  Broker broker({QStringLiteral("listener %1 127.0.0.1").arg(port),
                 QStringLiteral("allow_anonymous true"),
                 QStringLiteral("password_file ") + passwords});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();

  struct Case {
    const char *password;
    publish::ConnectionState state;
    const char *text;
  };
  const Case cases[] = {
      {"right", publish::ConnectionState::Connected, "MQTT: publishing to"},
      {"wrong", publish::ConnectionState::Off, "refused the connection"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.password);
    Subscriber subscriber(port, "test/pw/#");
    ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber.subscribed(); }, patience));
    const int attemptsBefore = broker.log().count("New connection from");
    AcquisitionState state;
    publish::MqttConfig config = plainConfig(port, QStringLiteral("test/pw"));
    config.user = QStringLiteral("ann");
    config.password = QString::fromLatin1(c.password);
    publish::MqttPublisher publisher(state, config);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return publisher.connectionState() == c.state && publisher.stateText().contains(c.text);
        },
        patience))
        << publisher.stateText().toStdString();
    if (c.state == publish::ConnectionState::Connected) {
      ASSERT_TRUE(
          QTest::qWaitFor([&] { return has(subscriber, "test/pw/status", "online"); }, patience));
      continue;
    }
    // Refused: nothing goes out, and the broker is not asked again.
    publisher.readingStored({state::Quantity::Ph1, state.ph1Value, state.ph1Value, {}, {},
                             QDateTime::currentDateTimeUtc()});
    publisher.switchChanged(state::Channel::Ph, true);
    QTest::qWait(3000);
    EXPECT_EQ(publisher.connectionState(), publish::ConnectionState::Off);
    for (const Subscriber::Message &message : subscriber.messages())
      EXPECT_NE(message.payload, "online") << message.topic.toStdString();
    EXPECT_FALSE(subscriber.last("test/pw/ph1/value"));
    EXPECT_EQ(broker.log().count("New connection from") - attemptsBefore, 1);
  }
}

TEST(MqttBroker, TlsConnectsWithTheAuthorityThatSignedTheBrokerAndRefusesAnother) {
  QTemporaryDir dir;
  const auto path = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
  const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  ASSERT_EQ(brokertest::run("openssl",
                            QStringList{"req", "-x509"} + key +
                                QStringList{"-keyout", path("ca.key"), "-out", path("ca.crt"),
                                            "-days", "2", "-subj", "/CN=Brellis test authority"}),
            0);
  ASSERT_EQ(brokertest::run("openssl",
                            QStringList{"req", "-x509"} + key +
                                QStringList{"-keyout", path("other.key"), "-out", path("other.crt"),
                                            "-days", "2", "-subj", "/CN=Someone else"}),
            0);
  ASSERT_EQ(
      brokertest::run("openssl", QStringList{"req"} + key +
                                     QStringList{"-keyout", path("server.key"), "-out",
                                                 path("server.csr"), "-subj", "/CN=localhost"}),
      0);
  writeFile(path("san.cnf"), "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
  ASSERT_EQ(
      brokertest::run("openssl", {"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.crt"),
                                  "-CAkey", path("ca.key"), "-CAcreateserial", "-out",
                                  path("server.crt"), "-days", "2", "-extfile", path("san.cnf")}),
      0);

  const int plainPort = brokertest::freePort();
  int tlsPort = brokertest::freePort();
  while (tlsPort == plainPort)
    tlsPort = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(plainPort),
       QStringLiteral("allow_anonymous true"), QStringLiteral("listener %1 127.0.0.1").arg(tlsPort),
       QStringLiteral("cafile ") + path("ca.crt"), QStringLiteral("certfile ") + path("server.crt"),
       QStringLiteral("keyfile ") + path("server.key")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  Subscriber subscriber(plainPort, "test/tls/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber.subscribed(); }, patience));

  struct Case {
    const char *ca;
    publish::ConnectionState state;
    const char *text;
  };
  const Case cases[] = {
      {"other.crt", publish::ConnectionState::Off, "does not verify"},
      {"ca.crt", publish::ConnectionState::Connected, "MQTT: publishing to mqtts://"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.ca);
    const publish::MqttConfigResult result = publish::makeMqttConfig(
        QStringLiteral("mqtts://127.0.0.1:%1").arg(tlsPort), path(c.ca), "test/tls", {}, {});
    ASSERT_TRUE(result.config) << result.error.toStdString();
    AcquisitionState state;
    publish::MqttPublisher publisher(state, *result.config);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return publisher.connectionState() == c.state && publisher.stateText().contains(c.text);
        },
        patience))
        << publisher.stateText().toStdString();
    if (c.state == publish::ConnectionState::Connected)
      EXPECT_TRUE(
          QTest::qWaitFor([&] { return has(subscriber, "test/tls/status", "online"); }, patience));
    else
      EXPECT_FALSE(subscriber.last("test/tls/status"));
  }
  // The connected publisher, gone at the end of its case, said so before it left.
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return has(subscriber, "test/tls/status", "offline"); }, patience));
}

TEST(MqttBroker, ABrokerThatStopsReadingCostsDroppedReadingsNotMemory) {
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  AcquisitionState state;
  publish::MqttPublisher publisher(state, plainConfig(port, QStringLiteral("test/slow")));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return publisher.connectionState() == publish::ConnectionState::Connected; },
      patience));

  // Far more readings than the sockets' buffers hold: beyond them, only a bounded number wait.
  broker.freeze(true);
  const QDateTime time = QDateTime::currentDateTimeUtc();
  const int readings = 300000;
  for (int k = 0; k < readings; ++k)
    publisher.readingStored({state::Quantity::FlowHz, state.flowHz, state.flowHz, {}, {}, time});
  EXPECT_GT(publisher.droppedReadings(), 0);
  broker.freeze(false);
}

TEST(MqttBroker, AHostThatCannotBeFoundIsToldAndTriedAgain) {
  AcquisitionState state;
  publish::MqttConfig config = plainConfig(1883, QStringLiteral("test/nohost"));
  config.host = QStringLiteral("brellis-test-broker.invalid");
  publish::MqttPublisher publisher(state, config);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return publisher.connectionState() == publish::ConnectionState::Retrying; }, patience));
  EXPECT_TRUE(publisher.stateText().contains("Lookup error"))
      << publisher.stateText().toStdString();
  EXPECT_TRUE(publisher.stateText().contains("trying again in"))
      << publisher.stateText().toStdString();
  publisher.readingStored(
      {state::Quantity::Ph1, state.ph1Value, state.ph1Value, {}, {}, QDateTime::currentDateTimeUtc()});
  EXPECT_EQ(publisher.droppedReadings(), 1);
}

TEST(MqttBroker, BadInputShowsAsTheWindowsConnectionState) {
  tiltdgh::SteadyClock clock;
  FrmMainServices services;
  services.mqtt = publish::makeMqttConfig("mqtt://127.0.0.1", {}, "lab/#", {}, {});
  testsupport::SimulatedWindow rig(clock, 7, services);
  frmMain &window = rig.window;
  ASSERT_TRUE(window.load());
  auto *label = window.findChild<QLabel *>("lblMqtt");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "MQTT: off");
  EXPECT_TRUE(label->toolTip().contains("'+', '#' or a NUL")) << label->toolTip().toStdString();
  EXPECT_TRUE(rig.messages.shown.empty()); // no box
}

// The program itself, as the operator starts it.
QProcessEnvironment programEnvironment(const QTemporaryDir &config) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", config.path());
  environment.insert("XDG_STATE_HOME", config.path()); // the run file and journals too
  return environment;
}

TEST(MqttBroker, TheProgramPublishesFromItsCommandLineAndItsLastWillSaysOffline) {
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  Subscriber subscriber(port, "test/cli/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return subscriber.subscribed(); }, patience));

  QTemporaryDir config;
  QProcess program;
  program.setProcessEnvironment(programEnvironment(config));
  program.start(BRELLIS_PATH,
                {"--simulate", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port),
                 "--mqtt-topic", "test/cli"});
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return has(subscriber, "test/cli/status", "online"); }, patience))
      << program.readAllStandardError().toStdString();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return has(subscriber, "test/cli/switch/flow", "off"); }, patience));
  // The run's start, journaled before the first connection, goes out once connected.
  const auto started = [&] {
    for (const Subscriber::Message &message : subscriber.messages())
      if (message.topic == "test/cli/event" && message.payload.startsWith("{\"event\":\"started\"") &&
          message.payload.endsWith("Z\"}"))
        return true;
    return false;
  };
  ASSERT_TRUE(QTest::qWaitFor(started, patience));
  // Killed, it cannot say goodbye: the broker says it for it.
  program.kill();
  program.waitForFinished();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return has(subscriber, "test/cli/status", "offline"); }, patience));
}

TEST(MqttBroker, BadInputIsReportedAtStartAndTheProgramRunsOnWithoutPublishing) {
  QTemporaryDir config;
  const QString port = QString::number(brokertest::freePort());
  const struct {
    QStringList arguments;
    const char *error;
  } cases[] = {
      {{"--mqtt", "ftp://127.0.0.1"}, "--mqtt: unknown scheme \"ftp\""},
      {{"--mqtt", "mqtt://ann@127.0.0.1", "--mqtt-password-file", config.filePath("none")},
       "--mqtt-password-file: cannot read"},
      {{"--mqtt", "mqtt://127.0.0.1:" + port, "--mqtt-topic", "lab/#"}, "'+', '#' or a NUL"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.error);
    QProcess program;
    QProcessEnvironment environment = programEnvironment(config);
    environment.insert("BRELLIS_QUIT_AFTER_SHOW", "1"); // ends once the window is up
    program.setProcessEnvironment(environment);
    program.start(BRELLIS_PATH, QStringList{"--simulate"} + c.arguments);
    ASSERT_TRUE(program.waitForFinished(patience));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QLatin1String(c.error))) << errors.toStdString();
    EXPECT_TRUE(errors.contains("running without publishing")) << errors.toStdString();
  }
}

} // namespace
