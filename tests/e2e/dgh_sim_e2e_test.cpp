// dgh-sim as a program: its command line, its control channel and its end.

#include "tests/e2e/dgh_sim_process.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using e2e::DghSimProcess;

TEST(DghSimProgram, CommandLinesItCannotUseEndItWithAReason) {
  const struct {
    QStringList arguments;
    int exitCode;
    const char *saysOn; // "out" or "err"
    const char *says;
  } cases[] = {
      {{"--help"}, 0, "out", "--garbage-before ADDR=TEXT"},
      {{"--silent", "4"}, 2, "err", "\"4\" is not a module address"},
      {{"--late", "6"}, 2, "err", "late needs ADDR=VALUE"},
      {{"--late", "6=soon"}, 2, "err", "late needs a number of milliseconds"},
      {{"--pin", "5=nan"}, 2, "err", "pin needs a number"},
      {{"--seed", "x"}, 2, "err", "--seed needs a whole number"},
      {{"--seed"}, 2, "err", "--seed needs an argument"},
      {{"--frobnicate", "1"}, 2, "err", "unknown setting \"frobnicate\""},
      {{"extra"}, 2, "err", "unexpected argument \"extra\""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    QProcess sim;
    sim.start(QStringLiteral(DGH_SIM_PATH), c.arguments);
    ASSERT_TRUE(sim.waitForFinished(e2e::processWaitMs));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), c.exitCode);
    const QByteArray text =
        QByteArray(c.saysOn) == "out" ? sim.readAllStandardOutput() : sim.readAllStandardError();
    EXPECT_TRUE(text.contains(c.says)) << text.toStdString();
  }
}

TEST(DghSimProgram, ControlLinesAreAnsweredOneByOne) {
  DghSimProcess sim;
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  const struct {
    const char *line;
    const char *answer;
  } cases[] = {
      {"silent 5", "ok"},
      {"late 6=50", "ok"},
      {"garbage-before 2=abc", "ok"},
      {"pin 1=20.5", "ok"},
      {"echo off", "ok"},
      {"clear", "ok"},
      {"silent 9", "error: \"9\" is not a module address (1, 2, 3, 5, 6, 7)"},
      {"late 6", "error: late needs ADDR=VALUE"},
      {"echo maybe", "error: echo needs on or off"},
      {"silent", "error: expected a setting and its argument"},
      {"explode 5", "error: unknown setting \"explode\""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(sim.control(c.line), c.answer) << c.line;
}

// The device path comes first on standard output; --link names it too, and a clean end removes
// the link while a killed simulator cannot.
TEST(DghSimProgram, EndsCleanlyOnAStopSignalAndRemovesItsLink) {
  const struct {
    int signal;
    bool clean;
  } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}, {SIGKILL, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.signal);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyDGH"));
    DghSimProcess sim({"--link", link});
    ASSERT_TRUE(sim.devicePath().startsWith("/dev/pts/")) << sim.devicePath().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.devicePath());

    ASSERT_TRUE(sim.endWith(c.signal));
    EXPECT_EQ(sim.process().exitStatus() == QProcess::NormalExit && sim.process().exitCode() == 0,
              c.clean);
    EXPECT_EQ(QFileInfo(link).isSymLink(), !c.clean);
  }
}

TEST(DghSimProgram, LinkPathHoldingSomethingElseIsLeftAlone) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("notes.txt"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("keep me");
  file.close();

  DghSimProcess sim({"--link", path});
  EXPECT_TRUE(sim.devicePath().isEmpty());
  EXPECT_TRUE(sim.errorOutput().contains("is not a symbolic link"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "keep me");
}

} // namespace
