// The station view against a real mosquitto and three real publishing programs on simulated
// modules: the tiles show what was published; a program killed with SIGKILL turns offline by its
// last will, one that stops publishing turns stale; garbage is counted in the status line and
// makes no tile.
#include "tests/publish/broker.h"

#include "stations/station_tile.h"
#include "stations/station_window.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <mosquitto.h>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

using brokertest::Broker;
using brokertest::Subscriber;
using stations::Garbage;
using stations::Shown;
using stations::StationModel;
using stations::StationState;

constexpr int patience = 60000;

// The plain and the corrected topic of what a tile shows.
const struct {
  Shown shown;
  const char *plain;
  const char *corrected;
} shownTopics[] = {
    {Shown::Ph1, "ph1/value", "ph1/corrected"},
    {Shown::Ph2, "ph2/value", "ph2/corrected"},
    {Shown::Therm1, "therm1/celsius", "therm1/celsius_with_offset"},
    {Shown::Therm2, "therm2/celsius", "therm2/celsius_with_offset"},
    {Shown::Therm3, "therm3/celsius", "therm3/celsius_with_offset"},
    {Shown::FlowRate, "flow/liters_per_min", nullptr},
    {Shown::FlowTotal, "flow/total_liters", nullptr},
};

mqtt::Endpoint local(int port) {
  mqtt::Endpoint endpoint;
  endpoint.host = QStringLiteral("127.0.0.1");
  endpoint.port = port;
  return endpoint;
}

const stations::Station *station(const stations::StationWindow &view, const QString &name) {
  const auto &all = view.model().stations();
  const auto found = all.find(name);
  return found == all.end() ? nullptr : &found->second;
}

bool allCurrent(const stations::StationWindow &view, const QString &name, qint64 nowMs) {
  const stations::Station *s = station(view, name);
  if (!s)
    return false;
  for (const auto &t : shownTopics)
    if (StationModel::readingState(*s, t.shown, nowMs) != stations::ReadingState::Current)
      return false;
  return true;
}

// Once a station publishes no more, its tile shows exactly the newest value of every topic.
void expectTileShowsWhatWasPublished(const stations::StationWindow &view, const Subscriber &seen,
                                     const QString &name) {
  SCOPED_TRACE(name.toStdString());
  const stations::Station *s = station(view, name);
  ASSERT_TRUE(s);
  const stations::StationTile *tile = view.tile(name);
  ASSERT_TRUE(tile);
  for (const auto &t : shownTopics) {
    const QByteArray prefix = "lab/" + name.toUtf8() + '/';
    std::optional<QByteArray> payload;
    if (t.corrected)
      payload = seen.last(prefix + t.corrected);
    if (!payload)
      payload = seen.last(prefix + t.plain);
    ASSERT_TRUE(payload) << t.plain;
    const double published = QJsonDocument::fromJson(*payload).object().value("value").toDouble();
    EXPECT_EQ(s->shownValue(t.shown).value, published) << t.plain;
    const stations::ShownInfo &info = stations::info(t.shown);
    EXPECT_TRUE(tile->readingText(t.shown).startsWith(
        QLocale().toString(published, 'f', info.decimals) + ' ' + QString::fromUtf8(info.unit)))
        << tile->readingText(t.shown).toStdString();
  }
}

struct Program {
  QProcess process;
  Program(int port, const QString &name, const QTemporaryDir &config,
          const QStringList &more = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("XDG_STATE_HOME", config.path()); // the alarm journal
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(BRELLIS_PATH,
                  QStringList{"--simulate", "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(port),
                              "--mqtt-topic", "lab/" + name, "--switch-on", "ph,flow,therm"} +
                      more);
  }
  ~Program() {
    ::kill(pid_t(process.processId()), SIGCONT);
    process.kill();
    process.waitForFinished();
  }
  void signal(int number) { ::kill(pid_t(process.processId()), number); }
};

TEST(StationView, ShowsThreeProgramsAndTheirEndsAndCountsGarbage) {
  mosquitto_lib_init();
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  Subscriber seen(port, "lab/#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.subscribed(); }, patience));
  stations::StationWindow view(local(port), "lab");
  view.show();

  QTemporaryDir config;
  QTemporaryDir alarmed; // gamma's pH 1 (about 7) is above its high limit from the start
  QSettings(alarmed.filePath("Quorran Science DGH Driver.conf"), QSettings::IniFormat)
      .setValue("Alarms/ph1/high", "1");
  const QStringList names{"alpha", "beta", "gamma"};
  std::vector<std::unique_ptr<Program>> programs;
  for (const QString &name : names)
    programs.push_back(std::make_unique<Program>(port, name, name == "gamma" ? alarmed : config));
  QElapsedTimer clock;
  clock.start();
  for (const QString &name : names)
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const stations::Station *s = station(view, name);
          return s && allCurrent(view, name, s->newestReadingMs) &&
                 StationModel::stationState(*s, s->newestReadingMs) == StationState::Online;
        },
        patience))
        << name.toStdString() << ": " << view.statusText().toStdString();
  EXPECT_EQ(view.model().stations().size(), 3u);
  EXPECT_TRUE(view.statusText().contains("3 station(s) · 0 message(s) ignored"))
      << view.statusText().toStdString();

  // Garbage: counted, no tile, nothing shown changes.
  const std::vector<std::pair<QByteArray, QByteArray>> garbage = {
      {"lab/delta/ph1/value", "not json"},
      {"lab/delta/ph1/value", "{\"value\":null}"},
      {"lab/delta/ph1/value", "{\"value\":NaN}"},
      {"lab/delta/ph1/value", "{\"value\":1,\"pad\":\"" + QByteArray(70000, 'x') + "\"}"},
      {"lab/delta/ph1/value/extra", "{\"value\":7}"},
      {"lab/delta", "{\"value\":7}"},
      {"lab/delta/status", "maybe"},
  };
  brokertest::publishMessages(port, garbage);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view.model().garbageCount() == qint64(garbage.size()); }, patience))
      << view.statusText().toStdString();
  EXPECT_FALSE(view.tile("delta"));
  EXPECT_TRUE(view.statusText().contains("3 station(s) · 7 message(s) ignored"))
      << view.statusText().toStdString();

  // beta stops publishing (stopped in its tracks, connection held): stale, still online.
  programs[1]->signal(SIGSTOP);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return view.tile("beta")->stateText().startsWith("stale") &&
               view.tile("beta")->captionText(Shown::Ph1) == "pH 1 · stale";
      },
      patience))
      << view.tile("beta")->stateText().toStdString();
  expectTileShowsWhatWasPublished(view, seen, "beta");

  // alpha killed outright: offline by its last will, greyed with the time last seen.
  programs[0]->process.kill();
  programs[0]->process.waitForFinished();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view.tile("alpha")->stateText().startsWith("offline, last seen 2"); }, patience))
      << view.tile("alpha")->stateText().toStdString();
  expectTileShowsWhatWasPublished(view, seen, "alpha");
  EXPECT_EQ(view.tile("alpha")->accessibleDescription(), view.tile("alpha")->stateText());
  EXPECT_TRUE(view.tile("gamma")->stateText().startsWith("online"))
      << view.tile("gamma")->stateText().toStdString();
  // Each program runs with --simulate, and its retained <prefix>/simulated says so.
  EXPECT_TRUE(view.tile("gamma")->stateText().endsWith(", simulated modules"))
      << view.tile("gamma")->stateText().toStdString();
  // gamma's alarm as its program publishes it: on the tile, its display and its description.
  const stations::StationTile *gamma = view.tile("gamma");
  ASSERT_TRUE(QTest::qWaitFor([&] { return gamma->alarmText() == "in alarm: pH 1 high"; }, patience))
      << gamma->alarmText().toStdString();
  EXPECT_EQ(gamma->captionText(Shown::Ph1), "pH 1 · in alarm");
  EXPECT_EQ(gamma->captionText(Shown::Ph2), "pH 2");
  EXPECT_TRUE(gamma->accessibleDescription().endsWith("; in alarm: pH 1 high"))
      << gamma->accessibleDescription().toStdString();
  EXPECT_EQ(view.tile("beta")->alarmText(), "");

  // For a person to look at: BRELLIS_SCREENSHOT=file.png (under xvfb-run, QT_QPA_PLATFORM=xcb).
  if (const QString path = qEnvironmentVariable("BRELLIS_SCREENSHOT"); !path.isEmpty()) {
    view.applyBatch();
    view.grab().save(path);
  }

  // The operator removes the offline tile.
  auto *remove = view.tile("alpha")->findChild<QPushButton *>("removeStation");
  ASSERT_TRUE(remove && remove->isVisible());
  remove->click();
  EXPECT_FALSE(view.tile("alpha"));
  EXPECT_EQ(view.model().stations().size(), 2u);
}

// Anyone who may publish under the base: junk names, bad messages and oversized payloads make no
// station and hold nothing; a sound station sent after them appears; the stations beyond the most
// the view shows are counted in its status line. (How fast the window answers meanwhile is
// measured in bench/stations.)
// A station that takes commands and has an alarm to acknowledge shows "Acknowledge"; pressed, it
// acknowledges the real program's alarm, and goes once the station says so.
TEST(StationView, TheAcknowledgeButtonAnswersARealStationsAlarm) {
  mosquitto_lib_init();
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  stations::StationWindow view(local(port), "lab");
  view.resize(900, 420);
  view.show();
  QTemporaryDir alarmed, plain; // pH 1 (about 7) is above its high limit from the start
  QSettings(alarmed.filePath("Quorran Science DGH Driver.conf"), QSettings::IniFormat)
      .setValue("Alarms/ph1/high", "1");
  Program answering(port, "rig-a", alarmed, {"--mqtt-commands"});
  Program deaf(port, "rig-b", alarmed); // in alarm too, but takes no commands
  const auto button = [&](const char *name) {
    stations::StationTile *tile = view.tile(QString::fromLatin1(name));
    return tile ? tile->findChild<QPushButton *>("acknowledgeStation") : nullptr;
  };
  const auto ph1State = [&](const char *name) {
    const stations::Station *s = station(view, QString::fromLatin1(name));
    return s ? s->alarms[alarms::index(alarms::Alarm::Ph1)].state : std::nullopt;
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return button("rig-a") && button("rig-a")->isVisible() &&
               ph1State("rig-b") == alarms::AlarmState::ActiveUnacknowledged;
      },
      patience));
  EXPECT_FALSE(button("rig-b")->isVisible()) << "a station that takes no commands has no button";
  EXPECT_EQ(button("rig-a")->accessibleName(), "Acknowledge the alarms of rig-a");
  const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR");
  if (!folder.isEmpty())
    view.grab().save(folder + "/station-acknowledge-before.png");
  button("rig-a")->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return ph1State("rig-a") == alarms::AlarmState::ActiveAcknowledged; }, patience));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !button("rig-a")->isVisible(); }, patience));
  EXPECT_EQ(ph1State("rig-b"), alarms::AlarmState::ActiveUnacknowledged);
  EXPECT_EQ(view.model().garbageCount(), 0) << "the command sent is no garbage";
  if (!folder.isEmpty())
    view.grab().save(folder + "/station-acknowledge-after.png");
}

TEST(StationView, AFloodMakesNoStationAndTheStationsBeyondTheMostAreCounted) {
  mosquitto_lib_init();
  const int port = brokertest::freePort();
  Broker broker(
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")});
  ASSERT_TRUE(broker.start()) << broker.log().toStdString();
  stations::StationWindow view(local(port), "lab", 50);
  view.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.statusText().startsWith("Receiving"); }, patience));

  const auto flood = [&](const QStringList &arguments) {
    QProcess publisher;
    publisher.setProcessChannelMode(QProcess::ForwardedChannels);
    publisher.start(STATION_FLOOD_PATH, QStringList{QString::number(port), "lab"} + arguments);
    return QTest::qWaitFor([&] { return publisher.state() == QProcess::NotRunning; }, 120000) &&
           publisher.exitCode() == 0;
  };
  ASSERT_TRUE(flood({"flood"}));
  brokertest::publishMessages(port, {{"lab/fresh/status", "online"}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.tile("fresh") != nullptr; }, patience))
      << view.statusText().toStdString();
  EXPECT_EQ(view.model().stations().size(), 1u);
  for (const Garbage kind : {Garbage::NoStation, Garbage::TooLong, Garbage::TooLarge,
                             Garbage::NotJson, Garbage::BadWord})
    EXPECT_GT(view.model().garbageCount(kind), 0) << int(kind);

  ASSERT_TRUE(flood({"status", "60"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.model().stationsBeyondMax() == 11; }, patience))
      << view.statusText().toStdString();
  EXPECT_EQ(view.model().stations().size(), 50u);
  EXPECT_TRUE(view.statusText().endsWith(" · 11 more station(s) not shown (at most 50)"))
      << view.statusText().toStdString();
}

// A name is shown as a person can read it, isolated from the text around it and within the
// tile; the whole of it in the tool tip and for a screen reader.
TEST(StationTile, ANameCannotReorderWidenOrBlankItsTile) {
  const QChar fsi(0x2068), pdi(0x2069);
  const QString wide = QString(64, QChar(0xFF37)); // 64 full-width letters, the longest name
  const struct {
    QString name;
    QString readable;
  } rows[] = {
      {"alpha", "alpha"},
      {QString::fromUtf8("lab \u202Eevil"), QString::fromUtf8("lab \u202Eevil")},
      {QString::fromUtf8("\u200E\u200F"), "U+200E U+200F"},
      {QString::fromUtf8(" \u200D"), "U+0020 U+200D"},
      {"two\nlines", "twoU+000Alines"},
      {wide, wide},
  };
  stations::StationTile reference("alpha");
  for (const auto &row : rows) {
    SCOPED_TRACE(row.readable.toStdString());
    EXPECT_EQ(stations::readableName(row.name), row.readable);
    stations::StationTile tile(row.name);
    EXPECT_EQ(tile.accessibleName(), row.readable);
    const QString shown = tile.shownName();
    ASSERT_TRUE(shown.startsWith(fsi) && shown.endsWith(pdi)) << shown.toStdString();
    EXPECT_EQ(tile.sizeHint().width(), reference.sizeHint().width());
    const QString inside = shown.mid(1, shown.size() - 2);
    EXPECT_TRUE(inside == row.readable || inside.endsWith(QChar(0x2026))) << inside.toStdString();
    auto *title = tile.findChild<QLabel *>("stationName");
    ASSERT_TRUE(title);
    EXPECT_TRUE(title->toolTip().contains(row.readable.toHtmlEscaped()));
  }
  EXPECT_NE(stations::StationTile(wide).shownName().mid(1).chopped(1), wide) << "not elided";
}

} // namespace
