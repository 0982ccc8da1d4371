#include "alarms/alarm_monitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

using namespace alarms;
using state::Quantity;

namespace {

bool waitFor(const std::function<bool()> &done, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return done();
}

QStringList lines(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {QStringLiteral("(missing)")};
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// A monitor on a fake wall clock, a settings file and a journal of the test's own.
struct Rig {
  QTemporaryDir dir;
  AcquisitionState state;
  qint64 nowMs = 1'700'000'000'000;
  std::unique_ptr<AlarmMonitor> monitor;

  explicit Rig(const QString &command = {}, int killMs = 30000,
               const std::function<void(AlarmMonitor::Options &)> &adjust = {},
               qint64 startMs = 1'700'000'000'000)
      : nowMs(startMs) {
    AlarmMonitor::Options options;
    options.journalPath = dir.filePath("alarms.csv");
    options.user = "operator";
    options.command = command;
    options.commandKillMs = killMs;
    options.now = [this] { return nowMs; };
    const QString store = dir.filePath("store.ini");
    options.store = [store] { return std::make_unique<QSettings>(store, QSettings::IniFormat); };
    if (adjust)
      adjust(options);
    monitor = std::make_unique<AlarmMonitor>(state, options);
  }
  QString journal() const { return dir.filePath("alarms.csv"); }
  void highLimit(Alarm alarm, double high) {
    AlarmSettings settings = monitor->settings();
    settings.limits[index(alarm)].high = high;
    monitor->setSettings(settings);
  }
  void reading(Quantity quantity, double value, qint64 advanceMs = 1000) {
    nowMs += advanceMs;
    // As the session hands it over: with the correction the record holds now.
    monitor->readingStored(
        {quantity, value, state::corrected(state::info(quantity), value, state), {}, {}, {}});
  }
  // The fake clock moves on a minute at a time, the monitor looking at each.
  void minutes(int count) {
    for (int i = 0; i < count; ++i) {
      nowMs += 60000;
      monitor->tick();
    }
  }
  // What the command's runs wrote, once they all ended, in the order of their times.
  QStringList runs(const QString &file) {
    if (!waitFor([&] { return monitor->command()->running() == 0; }))
      return {QStringLiteral("(still running)")};
    QStringList all = lines(file);
    all.sort();
    return all;
  }
};

// A list as one line each, for a readable difference.
std::string shown(const QStringList &list) { return list.join('\n').toStdString(); }

TEST(AlarmMonitor, ComparesAsDisplayedAndJournalsEveryChangeWithTheOperatorOnHisOwnActions) {
  Rig rig;
  rig.state.ph1Corr = 0.25;
  rig.state.therm2Offset = -1.5;
  rig.highLimit(Alarm::Ph1, 8.0);
  rig.highLimit(Alarm::Therm2, 30.0);
  rig.reading(Quantity::Ph1, 7.8);     // 8.05 as displayed
  rig.reading(Quantity::Therm2, 31.0); // 29.5 as displayed
  rig.monitor->acknowledgeAll();
  rig.monitor->shelve(Alarm::Ph1, 15);
  EXPECT_EQ(lines(rig.journal()),
            QStringList({"time,quantity,event,value,limit,user",
                         "2023-11-14T22:13:20Z,ph1,limits_changed,,8,operator",
                         "2023-11-14T22:13:20Z,therm2,limits_changed,,30,operator",
                         "2023-11-14T22:13:21Z,ph1,raised,8.05,8,",
                         "2023-11-14T22:13:22Z,ph1,acknowledged,8.05,8,operator",
                         "2023-11-14T22:13:22Z,ph1,shelved,8.05,8,operator"}));
  EXPECT_EQ(rig.monitor->engine().status(Alarm::Ph1).shelvedUntilMs, rig.nowMs + 15 * 60000);
  QSettings store(rig.dir.filePath("store.ini"), QSettings::IniFormat);
  EXPECT_EQ(store.value("Alarms/ph1/high").toString(), "8");
}

// The command's environment, read back from what a real shell wrote.
TEST(AlarmMonitor, CommandGetsTheAlarmInItsEnvironmentAtMostSixTimesAnHour) {
  QTemporaryDir out;
  const QString file = out.filePath("runs.txt");
  Rig rig(QStringLiteral("echo \"$BRELLIS_ALARM_TIME $BRELLIS_ALARM_QUANTITY $BRELLIS_ALARM_EVENT "
                         "$BRELLIS_ALARM_STATE $BRELLIS_ALARM_CONDITION $BRELLIS_ALARM_VALUE "
                         "$BRELLIS_ALARM_LIMIT $BRELLIS_ALARM_SUPPRESSED\" >> ") +
          file);
  rig.highLimit(Alarm::Flow, 2.5);
  for (int i = 0; i < 5; ++i) { // ten runs asked for within the hour
    rig.reading(Quantity::LitersPerMin, 3.25, 60000);
    rig.reading(Quantity::LitersPerMin, 1.0, 60000);
  }
  rig.reading(Quantity::LitersPerMin, 3.5, 3600000); // an hour on
  ASSERT_TRUE(waitFor([&] { return rig.monitor->command()->running() == 0; }));
  QStringList runs = lines(file); // the runs overlap: in the order of their times
  runs.sort();
  ASSERT_EQ(runs.size(), 7);
  EXPECT_EQ(runs[0], "2023-11-14T22:14:20Z flow_L_per_min raised active_unacknowledged high "
                     "3.25 2.5 0");
  EXPECT_EQ(runs[1], "2023-11-14T22:15:20Z flow_L_per_min returned returned_unacknowledged high "
                     "1 2.5 0");
  EXPECT_EQ(runs[5], "2023-11-14T22:19:20Z flow_L_per_min returned returned_unacknowledged high "
                     "1 2.5 0");
  EXPECT_EQ(runs[6], "2023-11-14T23:23:20Z flow_L_per_min raised active_unacknowledged high "
                     "3.5 2.5 4");
}

TEST(AlarmMonitor, CommandFailuresGoToTheJournal) {
  struct Row {
    const char *command;
    const char *reason;
  };
  const Row rows[] = {{"exit 3", "exit status 3"},
                      {"no-such-command-brellis", "exit status 127 (command not found)"},
                      {"sleep 20 & sleep 20", "was killed after 0.3 s"}};
  for (const Row &row : rows) {
    Rig rig(QString::fromUtf8(row.command), 300);
    QString reason;
    QObject::connect(rig.monitor->command(), &AlarmCommand::failed,
                     [&](const CommandFields &, const QString &why) { reason = why; });
    rig.highLimit(Alarm::Ph2, 9);
    rig.reading(Quantity::Ph2, 9.5);
    ASSERT_TRUE(waitFor([&] { return rig.monitor->command()->running() == 0; }));
    EXPECT_EQ(reason, QString::fromUtf8(row.reason)) << row.command;
    EXPECT_TRUE(lines(rig.journal()).last().contains(",ph2,command_failed,9.5,9,"))
        << lines(rig.journal()).last().toStdString();
  }
}

// Each run writes its minute after the raise, its event and what it was told was held back.
QString minuteLog(const QString &file) {
  return QStringLiteral("echo \"$BRELLIS_ALARM_TIME $BRELLIS_ALARM_EVENT $BRELLIS_ALARM_QUANTITY "
                        "$BRELLIS_ALARM_STATE $BRELLIS_ALARM_SUPPRESSED\" >> ") +
         file;
}

QStringList sinceRaise(const QStringList &runs, qint64 raisedMs) {
  QStringList out;
  for (const QString &run : runs) {
    const qint64 at =
        QDateTime::fromString(run.section(' ', 0, 0), Qt::ISODate).toMSecsSinceEpoch();
    out << QString::number((at - raisedMs) / 60000) + ' ' + run.section(' ', 1);
  }
  return out;
}

enum class Answer { None, Acknowledge, Shelve10, Return };

TEST(AlarmMonitor, RemindsEveryPeriodOnlyWhileAnAlarmIsActiveAndUnacknowledged) {
  const QString active = " flow_L_per_min active_unacknowledged 0";
  const struct {
    Answer atMinute7;
    QStringList runs; // minutes after the raise
  } rows[] = {
      {Answer::None,
       {"0 raised" + active, "5 reminder" + active, "10 reminder" + active,
        "15 reminder" + active, "20 reminder" + active}},
      {Answer::Acknowledge, {"0 raised" + active, "5 reminder" + active}},
      // Unshelved at 17, still active: reminded five minutes on.
      {Answer::Shelve10, {"0 raised" + active, "5 reminder" + active, "22 reminder" + active}},
      {Answer::Return,
       {"0 raised" + active, "5 reminder" + active,
        "7 returned flow_L_per_min returned_unacknowledged 0"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(int(row.atMinute7));
    QTemporaryDir out;
    const QString file = out.filePath("runs.txt");
    Rig rig(minuteLog(file), 30000, [](AlarmMonitor::Options &o) { o.repeatMinutes = 5; });
    rig.highLimit(Alarm::Flow, 2.5);
    rig.reading(Quantity::LitersPerMin, 3.25, 0);
    const qint64 raisedMs = rig.nowMs;
    rig.minutes(7);
    if (row.atMinute7 == Answer::Acknowledge)
      rig.monitor->acknowledge(Alarm::Flow);
    else if (row.atMinute7 == Answer::Shelve10)
      rig.monitor->shelve(Alarm::Flow, 10);
    else if (row.atMinute7 == Answer::Return)
      rig.reading(Quantity::LitersPerMin, 1.0, 0);
    rig.minutes(17);
    EXPECT_EQ(shown(sinceRaise(rig.runs(file), raisedMs)), shown(row.runs));
  }
}

TEST(AlarmMonitor, RemindersCountInTheHourlyLimitOfTheCommand) {
  QTemporaryDir out;
  const QString file = out.filePath("runs.txt");
  Rig rig(minuteLog(file), 30000, [](AlarmMonitor::Options &o) { o.repeatMinutes = 5; });
  rig.highLimit(Alarm::Ph1, 8);
  rig.reading(Quantity::Ph1, 8.5, 0);
  const qint64 raisedMs = rig.nowMs;
  rig.minutes(65);
  const QString ph1 = " ph1 active_unacknowledged ";
  // Six runs in the first hour; the six reminders from 30 to 55 are held back and counted.
  EXPECT_EQ(shown(sinceRaise(rig.runs(file), raisedMs)),
            shown({"0 raised" + ph1 + "0", "5 reminder" + ph1 + "0", "10 reminder" + ph1 + "0",
                         "15 reminder" + ph1 + "0", "20 reminder" + ph1 + "0",
                         "25 reminder" + ph1 + "0", "60 reminder" + ph1 + "6",
                         "65 reminder" + ph1 + "0"}));
}

QString utc(const QDateTime &time) { return time.toUTC().toString(Qt::ISODate); }

TEST(AlarmMonitor, HeartbeatRunsOnceADayAtItsLocalTimeWithTheSummary) {
  const QDateTime before(QDate(2026, 12, 9), QTime(8, 58)), after(QDate(2026, 12, 9), QTime(9, 30));
  const QString logFile = "/data/run 1-2026-12-09.log";
  const QString summary = " heartbeat 1 ph,therm " + logFile + ' ' + utc(before.addSecs(30));
  const struct {
    QDateTime start;
    int minutes;      // how long the fake clock runs on
    bool busy;        // channels on, an alarm active, a log written
    QStringList runs; // the heartbeats
  } rows[] = {
      {before, 2 * 1440 + 3, true,
       {utc(before.addSecs(120)) + summary, utc(before.addDays(1).addSecs(120)) + summary,
        utc(before.addDays(2).addSecs(120)) + summary}},
      {after, 1440, false, {utc(before.addDays(1).addSecs(120)) + " heartbeat 0   "}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.start.toString().toStdString());
    QTemporaryDir out;
    const QString file = out.filePath("runs.txt");
    Rig rig(QStringLiteral("[ \"$BRELLIS_ALARM_EVENT\" != heartbeat ] || "
                           "echo \"$BRELLIS_ALARM_TIME $BRELLIS_ALARM_EVENT $BRELLIS_ACTIVE_ALARMS "
                           "$BRELLIS_CHANNELS_ON $BRELLIS_LOG_FILE $BRELLIS_LAST_RECORD\" >> ") +
                file,
            30000, [](AlarmMonitor::Options &o) { o.heartbeat = QTime(9, 0); },
            row.start.toMSecsSinceEpoch());
    int signalled = 0;
    QObject::connect(rig.monitor.get(), &AlarmMonitor::heartbeat,
                     [&](const HeartbeatSummary &) { ++signalled; });
    if (row.busy) {
      rig.state.phReadEnabled = rig.state.thermReadEnabled = true;
      rig.highLimit(Alarm::Therm1, 30);
      rig.reading(Quantity::Therm1, 31, 0);
      rig.monitor->setLogFile("/data/run 1.log");
      rig.monitor->logRecordWritten(logFile, before.addSecs(30));
    }
    rig.minutes(row.minutes);
    EXPECT_EQ(shown(rig.runs(file)), shown(row.runs));
    EXPECT_EQ(signalled, row.runs.size());
  }
}

// A hung reminder or heartbeat is ended at the limit as any run is; the journal, which holds
// alarms, says the reminder's failure and not the heartbeat's.
TEST(AlarmMonitor, AHungReminderOrHeartbeatIsKilledAtItsLimit) {
  const QDateTime start(QDate(2026, 12, 9), QTime(8, 58));
  const struct {
    int repeatMinutes;
    std::optional<QTime> heartbeat;
    const char *event;
    bool journaled;
  } rows[] = {{5, std::nullopt, "reminder", true}, {0, QTime(9, 0), "heartbeat", false}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.event);
    Rig rig(QStringLiteral("[ \"$BRELLIS_ALARM_EVENT\" = raised ] || sleep 20"), 300,
            [&](AlarmMonitor::Options &o) {
              o.repeatMinutes = row.repeatMinutes;
              o.heartbeat = row.heartbeat;
            },
            start.toMSecsSinceEpoch());
    QStringList failures;
    QObject::connect(rig.monitor->command(), &AlarmCommand::failed,
                     [&](const CommandFields &fields, const QString &why) {
                       failures << fields.event + ": " + why;
                     });
    rig.highLimit(Alarm::Flow, 2.5);
    rig.reading(Quantity::LitersPerMin, 3.25, 0);
    rig.minutes(5);
    ASSERT_TRUE(waitFor([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(shown(failures), QString("%1: was killed after 0.3 s").arg(row.event).toStdString());
    EXPECT_EQ(lines(rig.journal()).filter("command_failed").size(), row.journaled ? 1 : 0);
  }
}

} // namespace
