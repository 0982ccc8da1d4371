// "<prefix>/phN/calibration_due" against a real mosquitto: retained, "true" while the probe's
// calibration is past its interval, "false" once a Save gives it today's date.
#include "tests/publish/publishing_window.h"
#include "tests/support/simulated_window.h"

#include "calibration/calibration_store.h"
#include "calibration/due_watch.h"
#include "calibration/frm_cal.h"
#include "instrument/clock.h"
#include "publish/mqtt_publisher.h"

#include <QAction>
#include <QDateEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using brokertest::Broker;
using brokertest::Subscriber;

// Generous: the machine running the tests may be busy.
constexpr int patience = 30000;

// The settings store and the calibration history in folders of the test's own.
struct OwnStore {
  OwnStore() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  }
  ~OwnStore() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       qEnvironmentVariable("XDG_CONFIG_HOME"));
    qputenv("XDG_DATA_HOME", savedData);
  }
  QTemporaryDir config;
  QTemporaryDir data;
  QByteArray savedData = qgetenv("XDG_DATA_HOME");
};

TEST(MqttBroker, CalibrationDueIsRetainedTrueWhilePastItsIntervalAndFalseAfterASave) {
  OwnStore own;
  const QDate today = QDate::currentDate();
  AcquisitionState stored;
  calibration::loadCoefficients(stored);
  stored.probe1CalDate = today.addDays(-8); // the default interval is 7 days
  stored.probe2CalDate = today;
  ASSERT_NE(calibration::saveProbeCoefficients(stored, 1), QSettings::AccessError);
  ASSERT_NE(calibration::saveProbeCoefficients(stored, 2), QSettings::AccessError);

  brokertest::PublishingWindow publishing;
  ASSERT_TRUE(publishing.start(7)) << publishing.broker.log().toStdString();
  const int port = publishing.port;
  testsupport::SimulatedWindow &rig = *publishing.rig;
  // Sees the topics reach the broker, so that the subscriber below comes after the publication:
  // one that subscribed before it would be handed the messages live, not as retained copies.
  Subscriber watcher(port, "test/rig/+/calibration_due");
  ASSERT_TRUE(rig.window.load());
  auto *publisher = rig.window.findChild<publish::MqttPublisher *>("mqttPublisher");
  ASSERT_TRUE(publisher);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return publisher->connectionState() == publish::ConnectionState::Connected; },
      patience))
      << publisher->stateText().toStdString();

  // A client that subscribes after the publication gets the broker's retained copies.
  const auto retained = [&](const Subscriber &subscriber, const QByteArray &topic) {
    std::optional<QByteArray> payload;
    for (const Subscriber::Message &message : subscriber.messages())
      if (message.topic == topic && message.retained)
        payload = message.payload;
    return payload;
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return watcher.last("test/rig/ph1/calibration_due") &&
               watcher.last("test/rig/ph2/calibration_due");
      },
      patience));
  auto later = std::make_unique<Subscriber>(port, "test/rig/+/calibration_due");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return retained(*later, "test/rig/ph1/calibration_due") &&
               retained(*later, "test/rig/ph2/calibration_due");
      },
      patience));
  EXPECT_EQ(retained(*later, "test/rig/ph1/calibration_due"), "true");
  EXPECT_EQ(retained(*later, "test/rig/ph2/calibration_due"), "false");

  rig.window.findChild<QAction *>("mnuPhCal")->trigger();
  auto *dialog = rig.window.findChild<frmCal *>("frmCal");
  ASSERT_TRUE(dialog);
  dialog->findChild<QDateEdit *>("DTPicker1")->setDate(today);
  dialog->findChild<QPushButton *>("Command1")->click();
  rig.window.findChild<calibration::DueWatch *>()->check(); // what its timer does every minute
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return later->last("test/rig/ph1/calibration_due") == QByteArray("false"); },
      patience));
  later = std::make_unique<Subscriber>(port, "test/rig/+/calibration_due");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return retained(*later, "test/rig/ph1/calibration_due").has_value(); }, patience));
  EXPECT_EQ(retained(*later, "test/rig/ph1/calibration_due"), "false");
  EXPECT_TRUE(rig.messages.shown.empty());
}

} // namespace
