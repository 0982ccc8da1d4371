// A compressed week of the real window: frmMain on the simulated modules, every channel on,
// logging every second, plotting, publishing to a real mosquitto, through seven days of simulated
// time in Europe/Berlin that take in seven midnights, the end of summer time (25 October 2026,
// 03:00 CEST back to 02:00 CET) and the wall clock set back 30 s once. At the end: every record
// the log's phase allows is in the file once and whole, the log reader and `brellis --export-log`
// place each on its date, memory grew by no more than the plot's points and 5 MiB after the first
// hour, the descriptors and threads are those of the first hour, the broker has the last values.
// Long (minutes): run it with `ctest -C week -L week`. BRELLIS_WEEK_HOURS shortens the run.
#include "console/window_controls.h"
#include "publish/topics.h"
#include "tests/publish/broker.h"
#include "tests/support/fake_clock.h"
#include "tests/support/simulated_window.h"
#include "tests/week/week_loop.h"

#include "logging/log_reader.h"
#include "plot/decimated_series.h"
#include "plot/trend_graph.h"
#include "publish/mqtt_publisher.h"
#include "state/quantities.h"
#include "widgets/two_state_switch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr qint64 hourMs = 3600 * 1000;
constexpr qint64 mib = 1024 * 1024;

struct Sample {
  double residentBytes = 0;
  double heapBytes = 0;
  double pointBytes = 0;
  int descriptors = 0;
  int threads = 0;
};

int entries(const char *dir) {
  return int(QDir(QString::fromLatin1(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                          QDir::System)
                 .size());
}

Sample sample(const plot::TrendGraph &graph) {
  Sample s;
  long pages = 0, resident = 0;
  if (FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  s.residentBytes = double(resident) * double(sysconf(_SC_PAGESIZE));
  const struct mallinfo2 info = mallinfo2();
  s.heapBytes = double(info.uordblks + info.hblkhd);
  s.pointBytes = double(graph.history(1)->bytesHeld() + graph.history(2)->bytesHeld());
  s.descriptors = entries("/proc/self/fd");
  s.threads = entries("/proc/self/task");
  return s;
}

QString mibText(double bytes) { return QString::number(bytes / mib, 'f', 2) + " MiB"; }

// What the run must find in the log: one record a second from the first phase point after OK to
// the end, each stamped with the wall-clock second it was due in, as "local date and time"
// seconds (the reader's wallSeconds). `firstDueElapsed` is the run's time of the first one.
std::vector<qint64> expectedStamps(const weektest::WallClock &wall, qint64 firstDueElapsed,
                                   qint64 endElapsed) {
  std::vector<qint64> stamps;
  for (qint64 e = firstDueElapsed; e <= endElapsed; e += 1000) {
    const QDateTime t = wall.at(e);
    stamps.push_back(logging::wallSecondsOf(t.date(), t.time().msecsSinceStartOfDay() / 1000));
  }
  return stamps;
}

// The first phase point at least one interval after OK, on the run's elapsed time.
qint64 firstDueElapsed(const weektest::WallClock &wall, qint64 okElapsed) {
  const qint64 okAt = wall.msAt(okElapsed);
  const qint64 phase = logging::LogController::kLogPhaseMs;
  const qint64 second = ((okAt + 1000 - phase - 1) / 1000) * 1000; // positive times only
  return okElapsed + (second + 1000 + phase - okAt);
}

// The index of the first stamp that differs, or -1 when both lists are the same.
qint64 firstDifference(const std::vector<qint64> &found, const std::vector<qint64> &expected) {
  const size_t n = std::min(found.size(), expected.size());
  for (size_t i = 0; i < n; ++i)
    if (found[i] != expected[i])
      return qint64(i);
  return found.size() == expected.size() ? -1 : qint64(n);
}

// The time column of `brellis --export-log`'s CSV as the reader's seconds; -1 for a row that
// does not read.
std::vector<qint64> exportedStamps(const QString &csvPath, QString *header) {
  std::vector<qint64> stamps;
  QFile csv(csvPath);
  if (!csv.open(QIODevice::ReadOnly))
    return stamps;
  *header = QString::fromLatin1(csv.readLine()).trimmed();
  while (!csv.atEnd()) {
    const QList<QByteArray> cells = csv.readLine().split(',');
    const QDateTime t = cells.size() > 1
                            ? QDateTime::fromString(QString::fromLatin1(cells[1]), Qt::ISODate)
                            : QDateTime();
    stamps.push_back(t.isValid() ? logging::wallSecondsOf(t.date(),
                                                          t.time().msecsSinceStartOfDay() / 1000)
                                 : -1);
  }
  return stamps;
}

// The reading topics whose newest payload's value is not the one `state` holds.
QStringList staleTopics(const brokertest::Subscriber &subscriber, const AcquisitionState &state) {
  QStringList stale;
  for (const state::QuantityInfo &reading : state::quantities) {
    const QByteArray topic = QByteArray("week/") + publish::topics::of(reading.quantity).topic;
    const QJsonObject payload =
        QJsonDocument::fromJson(subscriber.last(topic).value_or(QByteArray())).object();
    if (!payload.contains(QStringLiteral("value")) ||
        payload.value(QStringLiteral("value")).toDouble() != state.*reading.field)
      stale << QString::fromLatin1(topic);
  }
  return stale;
}

// The end of summer time must fall inside the run, in a zone that has one.
bool berlinTime() {
  qputenv("TZ", "Europe/Berlin");
  tzset();
  const QDateTime summer(QDate(2026, 10, 24), QTime(12, 0));
  const QDateTime winter(QDate(2026, 10, 26), QTime(12, 0));
  return summer.offsetFromUtc() == 7200 && winter.offsetFromUtc() == 3600;
}

// The broker, the window on the simulated modules and the loop that drives it, set up for the
// run: every channel on, logging every second to a new file, plotting, publishing to the broker.
struct WeekRig {
  WeekRig()
      : port(brokertest::freePort()),
        // Millions of messages: the broker logs its notices, not a line for each of them.
        broker({QStringLiteral("listener %1 127.0.0.1").arg(port),
                QStringLiteral("allow_anonymous true"), QStringLiteral("log_type none"),
                QStringLiteral("log_type error"), QStringLiteral("log_type warning"),
                QStringLiteral("log_type notice")}) {}

  bool start(const weektest::WallClock &wall, QString *why) {
    if (!broker.start())
      return *why = broker.log(), false;
    subscriber = std::make_unique<brokertest::Subscriber>(port, "week/#", true);
    FrmMainServices services;
    services.mqtt = publish::makeMqttConfig(QStringLiteral("mqtt://127.0.0.1:%1").arg(port), {},
                                            QStringLiteral("week"), {}, {});
    rig = std::make_unique<testsupport::SimulatedWindow>(clock, 7, services);
    if (!rig->window.load())
      return *why = QStringLiteral("the window did not load"), false;
    for (const state::ChannelInfo &channel : state::channels)
      rig->window.findChild<widgets::TwoStateSwitch *>(QLatin1String(console::controls(channel.channel).switchName))
          ->setChecked(true);
    rig->window.resize(1100, 800);
    rig->window.show();
    publisher = rig->window.findChild<publish::MqttPublisher *>(QStringLiteral("mqttPublisher"));
    graph = rig->window.findChild<plot::TrendGraph *>(QStringLiteral("CWGraph1"));
    QElapsedTimer waited;
    waited.start();
    while (!(publisher->connectionState() == publish::ConnectionState::Connected &&
             subscriber->subscribed()) &&
           waited.elapsed() < 30000)
      QTest::qWait(20);
    if (publisher->connectionState() != publish::ConnectionState::Connected)
      return *why = publisher->stateText(), false;
    loop = std::make_unique<weektest::CompressedLoop>(rig->window, clock, wall);
    loop->startPlotting();
    loop->startLogging(logging::LogChoice{true, false, dir.filePath("week.csv"), 1000});
    return true;
  }

  QString logPath() const { return dir.filePath("week.csv"); }

  int port;
  brokertest::Broker broker;
  std::unique_ptr<brokertest::Subscriber> subscriber;
  testsupport::FakeClock clock{1000};
  std::unique_ptr<testsupport::SimulatedWindow> rig;
  publish::MqttPublisher *publisher = nullptr;
  plot::TrendGraph *graph = nullptr;
  std::unique_ptr<weektest::CompressedLoop> loop;
  QTemporaryDir dir;
};

// Records a day, and the stamps that come twice (the hour that ends summer time, the 30 s the
// clock was set back), for the figures.
void printDays(const std::vector<qint64> &stamps) {
  QMap<QDate, qint64> perDay;
  qint64 repeated = 0;
  for (size_t i = 0; i < stamps.size(); ++i) {
    ++perDay[logging::wallDate(stamps[i])];
    if (i > 0 && stamps[i] <= stamps[i - 1])
      repeated += 1; // a step back: the start of a repeated stretch
  }
  for (auto it = perDay.cbegin(); it != perDay.cend(); ++it)
    std::printf("  %s: %lld records\n", qPrintable(it.key().toString(Qt::ISODate)),
                static_cast<long long>(it.value()));
  std::printf("  steps back of the time of day within a date: %lld\n",
              static_cast<long long>(repeated));
}

// The broker: the newest reading on every topic, and the retained state for a newcomer.
void checkBroker(const WeekRig &week) {
  QElapsedTimer waited;
  waited.start();
  const AcquisitionState &state = week.rig->window.state();
  QStringList stale = staleTopics(*week.subscriber, state);
  while (!stale.isEmpty() && waited.elapsed() < 30000) {
    QTest::qWait(50);
    stale = staleTopics(*week.subscriber, state);
  }
  EXPECT_TRUE(stale.isEmpty()) << stale.join(' ').toStdString();
  brokertest::Subscriber newcomer(week.port, "week/#", true);
  const auto retained = [&newcomer](const char *topic) {
    return newcomer.last(QByteArray("week/") + topic).value_or(QByteArray());
  };
  const auto retainedArrived = [&retained] {
    bool all = !retained("status").isEmpty();
    for (const state::ChannelInfo &channel : state::channels)
      all = all && !retained(publish::topics::of(channel.channel)).isEmpty();
    return all;
  };
  waited.restart();
  while (!retainedArrived() && waited.elapsed() < 30000)
    QTest::qWait(50);
  EXPECT_EQ(retained("status"), "online");
  for (const state::ChannelInfo &channel : state::channels)
    EXPECT_EQ(retained(publish::topics::of(channel.channel)), "on") << publish::topics::of(channel.channel);
  std::printf("messages received by the subscriber: %lld; readings the publisher dropped: %lld\n",
              static_cast<long long>(week.subscriber->received()),
              static_cast<long long>(week.publisher->droppedReadings()));
}

std::string stampText(const std::vector<qint64> &stamps, qint64 index) {
  return index >= 0 && size_t(index) < stamps.size()
             ? logging::wallIsoText(stamps[size_t(index)]).toStdString()
             : std::string("nothing");
}

// The log file as the log window reads it.
void checkLogReader(const QString &path, const std::vector<qint64> &expected) {
  const logging::LogFile log = logging::readLogFile(path);
  ASSERT_TRUE(log.ok) << log.error.toStdString();
  EXPECT_EQ(log.damagedLines, 0) << "first at line " << log.firstDamagedLine;
  EXPECT_EQ(log.runs.size(), 1);
  std::vector<qint64> read;
  read.reserve(log.records.size());
  for (const logging::LogRecord &record : log.records)
    read.push_back(record.wallSeconds);
  const qint64 diff = firstDifference(read, expected);
  EXPECT_EQ(diff, -1) << "record " << diff << " reads " << stampText(read, diff) << ", expected "
                      << stampText(expected, diff);
  std::printf("records expected %zu, read back %zu\n", expected.size(), read.size());
  printDays(read);
}

// The same file through the command line's export to CSV.
void checkExport(const QString &path, const QString &csv, const std::vector<qint64> &expected) {
  QProcess brellis;
  brellis.start(QStringLiteral(BRELLIS_PATH), {QStringLiteral("--export-log"), path, csv});
  ASSERT_TRUE(brellis.waitForFinished(600000));
  EXPECT_EQ(brellis.exitCode(), 0) << brellis.readAllStandardError().toStdString();
  QString header;
  const std::vector<qint64> exported = exportedStamps(csv, &header);
  EXPECT_TRUE(header.startsWith(QStringLiteral("run,time,"))) << header.toStdString();
  const qint64 diff = firstDifference(exported, expected);
  EXPECT_EQ(diff, -1) << "row " << diff << " reads " << stampText(exported, diff)
                      << ", expected " << stampText(expected, diff);
  std::printf("rows exported %zu\n", exported.size());
}

void printRun(const weektest::CompressedLoop &loop, qint64 hours, const Sample &atHour,
              const Sample &atEnd) {
  std::printf("simulated %lld h: %lld read ticks, %lld plot ticks, %lld log ticks, %lld phase "
              "restarts\n",
              static_cast<long long>(hours), static_cast<long long>(loop.readTicks),
              static_cast<long long>(loop.plotTicks), static_cast<long long>(loop.logTicks),
              static_cast<long long>(loop.phaseRestarts));
  std::printf("resident %s after the first hour, %s at the end; heap %s, %s; the plot's points "
              "%s, %s\n",
              qPrintable(mibText(atHour.residentBytes)), qPrintable(mibText(atEnd.residentBytes)),
              qPrintable(mibText(atHour.heapBytes)), qPrintable(mibText(atEnd.heapBytes)),
              qPrintable(mibText(atHour.pointBytes)), qPrintable(mibText(atEnd.pointBytes)));
  std::printf("descriptors %d, %d; threads %d, %d\n", atHour.descriptors, atEnd.descriptors,
              atHour.threads, atEnd.threads);
}

} // namespace

TEST(CompressedWeek, EveryRecordIsKeptOnceAndReadBackOnItsDateWithMemoryAndHandlesSteady) {
  if (!berlinTime())
    GTEST_SKIP() << "the time zone Europe/Berlin is not installed";
  const qint64 hours = qEnvironmentVariableIsSet("BRELLIS_WEEK_HOURS")
                           ? qEnvironmentVariableIntValue("BRELLIS_WEEK_HOURS")
                           : 7 * 24;
  QElapsedTimer wallTime;
  wallTime.start();
  weektest::WallClock wall;
  wall.startMs = QDateTime(QDate(2026, 10, 22), QTime(15, 0, 0, 950)).toMSecsSinceEpoch();
  wall.setBackAtMs =
      QDateTime(QDate(2026, 10, 27), QTime(10, 15, 0, 600)).toMSecsSinceEpoch() - wall.startMs;
  wall.setBackMs = 30000;
  const qint64 endElapsed = hours * hourMs;

  WeekRig week;
  QString why;
  ASSERT_TRUE(week.start(wall, &why)) << why.toStdString();
  week.loop->runUntil(hourMs);
  QCoreApplication::processEvents();
  const Sample atHour = sample(*week.graph);
  // The last read tick comes after a real pause, as on a real machine: what is published goes
  // out as it is handed over instead of piling up ten thousand a second.
  week.loop->runUntil(endElapsed - 2000);
  QTest::qWait(1000);
  week.loop->runUntil(endElapsed);
  QCoreApplication::processEvents();
  const Sample atEnd = sample(*week.graph);
  printRun(*week.loop, hours, atHour, atEnd);
  EXPECT_TRUE(week.rig->messages.shown.empty())
      << week.rig->messages.shown.front().text.toStdString();
  auto *logging = week.rig->window.findChild<logging::LogController *>();
  EXPECT_TRUE(logging->isLogging());
  logging->stopLogging();
  EXPECT_LE(atEnd.residentBytes - atHour.residentBytes,
            (atEnd.pointBytes - atHour.pointBytes) + 5.0 * mib);
  EXPECT_EQ(atEnd.descriptors, atHour.descriptors);
  EXPECT_EQ(atEnd.threads, atHour.threads);

  checkBroker(week);
  const std::vector<qint64> expected = expectedStamps(wall, firstDueElapsed(wall, 0), endElapsed);
  checkLogReader(week.logPath(), expected);
  checkExport(week.logPath(), week.dir.filePath("week-table.csv"), expected);
  std::printf("wall time %.1f s\n", double(wallTime.elapsed()) / 1000.0);
}
