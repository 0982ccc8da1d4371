// The station view's, discovery's and the alarm command's options given wrong: the program says
// what is wrong on standard error and ends with a non-zero status before any window. The
// program runs with BRELLIS_QUIT_AFTER_SHOW=1, so one that opened a window anyway would end with
// status 0.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Runs the program with `arguments`; it must end with `status` and say `message`.
void expectEnd(const QString &home, const QStringList &arguments, int status, const char *message) {
  SCOPED_TRACE(arguments.join(' ').toStdString());
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("BRELLIS_QUIT_AFTER_SHOW", "1");
  for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
    environment.insert(variable, home);
  program.setProcessEnvironment(environment);
  program.start(BRELLIS_PATH, arguments);
  ASSERT_TRUE(program.waitForFinished(60000));
  const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), status) << errors.toStdString();
  EXPECT_TRUE(errors.contains(QLatin1String(message))) << errors.toStdString();
}

TEST(CommandLine, BadStationAndDiscoveryOptionsEndTheProgramWithAReason) {
  QTemporaryDir home;
  const QString missing = home.filePath("no-such-file");
  const QString nobody = QStringLiteral("mqtt://127.0.0.1:1"); // no broker: nothing waits for one
  const struct {
    QStringList arguments;
    int status;
    const char *message; // on standard error
  } cases[] = {
      {{"--stations"}, 1, "Missing value after '--stations'"},
      {{"--stations", "ftp://127.0.0.1"}, 2, "--stations: unknown scheme \"ftp\""},
      {{"--stations", "mqtt://127.0.0.1:99999"}, 2,
       "--stations: \"mqtt://127.0.0.1:99999\" is not a broker address"},
      {{"--stations", nobody, "--mqtt-topic", "lab/+"}, 2, "--mqtt-topic: \"lab/+\" holds '+'"},
      {{"--stations", "mqtt://ann@127.0.0.1:1", "--mqtt-password-file", missing}, 2,
       "--mqtt-password-file: cannot read"},
      {{"--stations", nobody, "--mqtt", nobody}, 2, "it cannot be given with --mqtt"},
      {{"--stations", nobody, "--mqtt-discovery"}, 2, "it cannot be given with --mqtt-discovery"},
      {{"--simulate", "--mqtt-discovery"}, 2, "--mqtt-discovery announces what --mqtt publishes"},
      {{"--simulate", "--mqtt", nobody, "--mqtt-discovery", "home/#"}, 2,
       "--mqtt-discovery: \"home/#\" holds '+'"},
      {{"--simulate", "--mqtt", nobody, "--mqtt-discovery="}, 2,
       "--mqtt-discovery: the topic prefix is empty"},
      {{"--stations", nobody, "--max-stations", "0"}, 2,
       "--max-stations expects a whole number from 1 to 100000, not \"0\""},
      {{"--simulate", "--max-stations", "5"}, 2, "--max-stations bounds the station view"},
      // Sound options open the window, which ends at once here: status 0.
      {{"--stations", nobody}, 0, ""},
      {{"--stations", nobody, "--max-stations", "3"}, 0, ""},
      {{"--simulate", "--mqtt", nobody, "--mqtt-discovery"}, 0, ""},
  };
  for (const auto &c : cases)
    expectEnd(home.path(), c.arguments, c.status, c.message);
}

TEST(CommandLine, AlarmRemindersAndHeartbeatNeedTheCommandAndSoundValues) {
  QTemporaryDir home;
  const QStringList command = {"--simulate", "--alarm-command", "true"};
  const struct {
    QStringList arguments;
    int status;
    const char *message;
  } cases[] = {
      {{"--simulate", "--alarm-repeat", "5"}, 2,
       "--alarm-repeat runs the alarm command; give --alarm-command CMD too"},
      {{"--simulate", "--alarm-heartbeat", "08:00"}, 2,
       "--alarm-heartbeat runs the alarm command; give --alarm-command CMD too"},
      {command + QStringList{"--alarm-repeat", "0"}, 2,
       "--alarm-repeat expects a whole number of minutes from 1 to 1440, not \"0\""},
      {command + QStringList{"--alarm-repeat", "1441"}, 2, "from 1 to 1440, not \"1441\""},
      {command + QStringList{"--alarm-repeat", "2.5"}, 2, "from 1 to 1440, not \"2.5\""},
      {command + QStringList{"--alarm-heartbeat", "24:00"}, 2,
       "--alarm-heartbeat expects a local time HH:MM from 00:00 to 23:59, not \"24:00\""},
      {command + QStringList{"--alarm-heartbeat", "8:5"}, 2, "not \"8:5\""},
      {command + QStringList{"--alarm-heartbeat", "08:00:00"}, 2, "not \"08:00:00\""},
      {command + QStringList{"--alarm-repeat", "1440", "--alarm-heartbeat", "23:59"}, 0, ""},
      {command + QStringList{"--alarm-repeat", "1", "--alarm-heartbeat", "0:00"}, 0, ""},
  };
  for (const auto &c : cases)
    expectEnd(home.path(), c.arguments, c.status, c.message);
}

} // namespace

namespace {

int lineCount(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : -1;
}

} // namespace

TEST(CommandLine, ExportTakesASpanOfLocalTimesAndRefusesOneItCannotRead) {
  QTemporaryDir home;
  const QString log = QStringLiteral(BRELLIS_TEST_DATA "/two_runs.log");
  const QString out = home.filePath("span.csv");
  const struct {
    QStringList span;
    int status;
    const char *message;
    int rows; // of the table written, its title line included; -1 for none
  } cases[] = {
      {{"--from", "2026-12-07T23:59:59", "--to", "2026-12-08 00:00:00"}, 0, "", 3},
      {{"--from", "2026-12-09"}, 0, "", 3},
      {{"--to", "2026-12-08T00:00"}, 0, "", 4},
      {{"--from", "2026-12-09T08:15:00Z"}, 2,
       "--from expects a local date and time such as 2026-12-09T10:00:00, not "
       "\"2026-12-09T08:15:00Z\"",
       -1},
      {{"--from", "2026-12-09", "--to", "2026-12-08"}, 2, "--to is before --from", -1},
  };
  for (const auto &c : cases) {
    QFile::remove(out);
    expectEnd(home.path(), QStringList{"--export-log", log, out} + c.span, c.status, c.message);
    EXPECT_EQ(lineCount(out), c.rows) << c.span.join(' ').toStdString();
  }
}
