// The station view's and discovery's options given wrong: the program says what is wrong on
// standard error and ends with a non-zero status before any window. The program runs with
// BRELLIS_QUIT_AFTER_SHOW=1, so one that opened a window anyway would end with status 0.
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

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
  for (const auto &c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("BRELLIS_QUIT_AFTER_SHOW", "1");
    for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
      environment.insert(variable, home.path());
    program.setProcessEnvironment(environment);
    program.start(BRELLIS_PATH, c.arguments);
    ASSERT_TRUE(program.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), c.status) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QLatin1String(c.message))) << errors.toStdString();
  }
}

} // namespace
