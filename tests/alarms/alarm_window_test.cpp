// The alarms in the running window, on the in-process simulated modules and the real clock.
#include "tests/publish/publishing_window.h"
#include "tests/support/simulated_window.h"

#include "alarms/alarm_limits_dialog.h"
#include "alarms/alarm_list.h"
#include "alarms/alarm_monitor.h"
#include "instrument/clock.h"
#include "widgets/two_state_switch.h"

#include <QAction>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using alarms::Alarm;
using alarms::AlarmEvent;

constexpr int patience = 30000;
const QColor amber(0xFF, 0xB0, 0x00);

// The journal goes to a folder of the test's own.
struct StateHome {
  QTemporaryDir dir;
  StateHome() { qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit()); }
  QString journal() const { return dir.filePath("brellis/alarms.csv"); }
};

// Hertz of the flow module for a flow in litres per minute.
double hertz(double litersPerMinute) { return litersPerMinute * 6900 / 60; }

struct Events {
  std::vector<AlarmEvent> seen;
  int count(alarms::EventKind kind) const {
    return int(std::count_if(seen.begin(), seen.end(),
                             [kind](const AlarmEvent &e) { return e.kind == kind; }));
  }
};

alarms::AlarmMonitor *monitorOf(frmMain &window, Events &events) {
  auto *monitor = window.findChild<alarms::AlarmMonitor *>("alarmMonitor");
  if (monitor)
    QObject::connect(monitor, &alarms::AlarmMonitor::alarmEvent,
                     [&events](const AlarmEvent &e) { events.seen.push_back(e); });
  return monitor;
}

void screenshot(QWidget *widget, const char *name) {
  const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR");
  if (folder.isEmpty())
    return;
  QTest::qWait(50);
  widget->grab().save(folder + '/' + QLatin1String(name) + ".png");
}

// Flow high limit 1.5 L/min, deadband 0.5, on-delay 10 s, read once a second. Each phase pins the
// flow module for a while; a 5 s excursion raises nothing, a sustained one raises on the first
// reading 10 s after the excursion's first, and wobbling inside the deadband neither returns
// nor raises again.
TEST(AlarmWindow, FlowExcursionsAgainstTheOnDelayAndTheDeadband) {
  StateHome home;
  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 3);
  ASSERT_TRUE(rig.window.load());
  Events events;
  alarms::AlarmMonitor *monitor = monitorOf(rig.window, events);
  ASSERT_NE(monitor, nullptr);
  alarms::AlarmSettings settings;
  settings.limits[alarms::index(Alarm::Flow)] = {std::nullopt, 1.5, 0.5, 10};
  monitor->setSettings(settings);
  std::vector<std::pair<qint64, double>> readings; // wall time, L/min
  QObject::connect(&rig.window.session(), &acquisition::Session::readingStored,
                   [&](const state::Reading &r) {
                     if (r.quantity == state::Quantity::LitersPerMin)
                       readings.push_back({r.time.toMSecsSinceEpoch(), r.value});
                   });
  struct Phase {
    double litersPerMinute;
    int ms;
    int raisedAfter; // raises seen at the phase's end
  };
  const Phase phases[] = {{1.0, 2000, 0}, {2.0, 5000, 0}, {1.0, 3000, 0}, {2.0, 12500, 1},
                          {1.2, 2500, 1}, {2.0, 2500, 1}, {1.2, 2500, 1}, {0.8, 2500, 1}};
  rig.window.findChild<widgets::TwoStateSwitch *>("cwbFlow")->setChecked(true);
  qint64 sustainedFrom = 0;
  for (const Phase &phase : phases) {
    rig.modules.pinReading('5', hertz(phase.litersPerMinute));
    if (phase.raisedAfter == 1 && events.count(alarms::EventKind::Raised) == 0)
      sustainedFrom = QDateTime::currentMSecsSinceEpoch();
    QTest::qWait(phase.ms);
    EXPECT_EQ(events.count(alarms::EventKind::Raised), phase.raisedAfter)
        << "after " << phase.litersPerMinute << " L/min";
  }
  EXPECT_EQ(events.count(alarms::EventKind::Returned), 1);
  EXPECT_TRUE(rig.messages.shown.empty());

  // The raise came with the first reading at least 10 s after the sustained excursion's first.
  ASSERT_GE(events.seen.size(), 2u);
  qint64 firstOver = 0, dueReading = 0;
  for (const auto &[at, value] : readings)
    if (at >= sustainedFrom && value > 1.5 && !firstOver)
      firstOver = at;
  for (const auto &[at, value] : readings)
    if (firstOver && at >= firstOver + 10000 && !dueReading)
      dueReading = at;
  EXPECT_EQ(events.seen[0].timeMs, dueReading);
  std::printf("raised %lld ms after the excursion's first reading was stored\n",
              static_cast<long long>(events.seen[0].timeMs - firstOver));
}

// The last thermistor module falls silent (only its failure stops the channel; the first two's
// failures are only said): its reader's failure switches the channel off, and the
// no-reading alarm comes after its time. The display and the status indicator show it, and
// "Acknowledge All" steadies it.
TEST(AlarmWindow, SilentModuleRaisesNoReadingAndTheWindowShowsIt) {
  StateHome home;
  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 5);
  frmMain &window = rig.window;
  ASSERT_TRUE(window.load());
  window.show();
  QStringList menus;
  for (QAction *entry : window.menuBar()->actions())
    menus << entry->text().remove('&');
  EXPECT_EQ(menus, QStringList({"File", "Logging", "Calibration", "Comm Port", "Alarms", "Help"}));
  Events events;
  alarms::AlarmMonitor *monitor = monitorOf(window, events);
  alarms::AlarmSettings settings;
  settings.noReadingSeconds[static_cast<int>(state::Channel::Therm)] = 2;
  monitor->setSettings(settings);
  qint64 lastReading = 0;
  QObject::connect(&window.session(), &acquisition::Session::readingStored,
                   [&](const state::Reading &r) {
                     if (state::info(r.quantity).channel == state::Channel::Therm)
                       lastReading = r.time.toMSecsSinceEpoch();
                   });
  auto *thermSwitch = window.findChild<widgets::TwoStateSwitch *>("cwbTherm");
  thermSwitch->setChecked(true);
  QTest::qWait(2500);
  EXPECT_TRUE(events.seen.empty()) << "the module answers";
  sim::ModuleFault silent;
  silent.silent = true;
  rig.modules.setFault('3', silent);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.seen.empty(); }, patience));
  EXPECT_FALSE(thermSwitch->isChecked());
  EXPECT_EQ(events.seen[0].alarm, Alarm::ThermSilent);
  EXPECT_GE(events.seen[0].timeMs, lastReading + 2000);
  std::printf("no-reading raised %lld ms after the last reading\n",
              static_cast<long long>(events.seen[0].timeMs - lastReading));

  auto *display = window.findChild<QLabel *>("lblTherm2WOS");
  auto *indicator = window.findChild<QToolButton *>("cmdAlarms");
  ASSERT_TRUE(display && indicator);
  EXPECT_EQ(display->accessibleDescription(), "no-reading alarm, unacknowledged");
  EXPECT_EQ(indicator->text(), "Alarms: 1");
  EXPECT_FALSE(indicator->styleSheet().isEmpty()) << "highlighted while unacknowledged";
  std::set<QRgb> backgrounds;
  for (int i = 0; i < 6; ++i, QTest::qWait(200))
    backgrounds.insert(display->palette().color(QPalette::Window).rgb());
  EXPECT_EQ(backgrounds, (std::set<QRgb>{QColor(Qt::black).rgb(), amber.rgb()})) << "flashing";
  screenshot(&window, "window-no-reading");

  window.findChild<QAction *>("mnuAlarmAckAll")->trigger();
  EXPECT_EQ(display->accessibleDescription(), "no-reading alarm, acknowledged");
  EXPECT_TRUE(indicator->styleSheet().isEmpty());
  backgrounds.clear();
  for (int i = 0; i < 6; ++i, QTest::qWait(200))
    backgrounds.insert(display->palette().color(QPalette::Window).rgb());
  EXPECT_EQ(backgrounds, std::set<QRgb>{amber.rgb()}) << "steady";
  QFile journal(home.journal());
  ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = journal.readAll().split('\n');
  // The limits' lines come first (as many as rows changed: the settings store may hold an earlier
  // test's limits); the raise and then its acknowledgement follow them.
  const auto raised = std::find_if(lines.begin(), lines.end(), [](const QByteArray &line) {
    return line.contains(",therm,raised,");
  });
  ASSERT_NE(raised, lines.end()) << journal.fileName().toStdString();
  ASSERT_NE(raised + 1, lines.end());
  EXPECT_TRUE(raised[1].contains(",therm,acknowledged,")) << raised[1].toStdString();
}

QJsonObject json(const brokertest::Subscriber &subscriber, const char *topic) {
  return QJsonDocument::fromJson(subscriber.last(topic).value_or("{}")).object();
}

// With --mqtt the alarms are retained topics. pH 1 (about 7 as simulated) over a high limit of
// 5 and the flow over 1.5 L/min raise two alarms.
TEST(AlarmWindow, AlarmsAreRetainedTopicsOnTheBroker) {
  StateHome home;
  brokertest::PublishingWindow publishing;
  ASSERT_TRUE(publishing.start(9)) << publishing.broker.log().toStdString();
  const int port = publishing.port;
  testsupport::SimulatedWindow &rig = *publishing.rig;
  frmMain &window = rig.window;
  ASSERT_TRUE(window.load());
  window.show();
  Events events;
  alarms::AlarmMonitor *monitor = monitorOf(window, events);
  alarms::AlarmSettings settings;
  settings.limits[alarms::index(Alarm::Ph1)] = {std::nullopt, 5.0, 0, 0};
  settings.limits[alarms::index(Alarm::Flow)] = {0.2, 1.5, 0, 0};
  monitor->setSettings(settings);
  brokertest::Subscriber early(port, "test/rig/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return early.subscribed(); }, patience));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return json(early, "test/rig/alarm/ph1").value("state") == "normal"; }, patience));
  EXPECT_EQ(early.last("test/rig/alarms/active").value_or(""), "0");

  rig.modules.pinReading('5', hertz(2.0));
  window.findChild<widgets::TwoStateSwitch *>("cwbFlow")->setChecked(true);
  window.findChild<widgets::TwoStateSwitch *>("cwbPh")->setChecked(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->engine().activeCount() == 2; }, patience));
  window.findChild<QAction *>("mnuAlarmList")->trigger();
  screenshot(window.findChild<alarms::AlarmList *>(), "alarm-list");
  screenshot(&window, "window-ph-alarm");
  monitor->acknowledge(Alarm::Flow);

  brokertest::Subscriber late(port, "test/rig/#"); // what a newcomer finds retained
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return late.last("test/rig/alarms/active") == "2" &&
               json(late, "test/rig/alarm/flow_L_per_min").value("state") == "active_acknowledged";
      },
      patience));
  const QJsonObject flow = json(late, "test/rig/alarm/flow_L_per_min");
  EXPECT_EQ(flow.value("value").toDouble(), 2.0);
  EXPECT_EQ(flow.value("limit").toDouble(), 1.5);
  EXPECT_EQ(QDateTime::fromString(flow.value("since").toString(), Qt::ISODate).toMSecsSinceEpoch(),
            monitor->engine().status(Alarm::Flow).sinceMs / 1000 * 1000);
  const QJsonObject ph1 = json(late, "test/rig/alarm/ph1");
  EXPECT_EQ(ph1.value("state"), "active_unacknowledged");
  EXPECT_EQ(ph1.value("limit").toDouble(), 5.0);
  EXPECT_EQ(json(late, "test/rig/alarm/therm").value("state"), "normal");
  EXPECT_TRUE(json(late, "test/rig/alarm/therm").value("value").isNull());

  window.findChild<QAction *>("mnuAlarmLimits")->trigger();
  screenshot(window.findChild<alarms::AlarmLimitsDialog *>(), "alarm-limits");
}

} // namespace
