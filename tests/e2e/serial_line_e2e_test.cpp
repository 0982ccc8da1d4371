// The real QSerialPort line against a pseudo-terminal: frames, exchange timing, hang-up and
// port errors as the program meets them on a serial device.

#include "tests/e2e/dgh_sim_process.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using e2e::DghSimProcess;
using e2e::RealLink;
using tiltdgh::PortError;

// Waits (real time) until the line holds `count` received characters.
bool waitForWaiting(tiltdgh::SerialLine &line, int count) {
  const QDeadlineTimer deadline(e2e::processWaitMs);
  while (line.inBufferCount() < count) {
    if (deadline.hasExpired())
      return false;
    QThread::msleep(5);
  }
  return true;
}

TEST(RealSerialLine, EveryModuleAnswersWithItsOwnFrame) {
  DghSimProcess sim({"--pin", "1=21.46", "--pin", "2=-3.5", "--pin", "3=22.3", "--pin", "5=115",
                     "--pin", "6=2577.7", "--pin", "7=-412.25"});
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  RealLink real(sim.devicePath());
  ASSERT_EQ(real.line.open(), PortError::None) << real.line.lastErrorText().toStdString();

  const struct {
    const char *address;
    const char *frame;
  } cases[] = {{"1", "*+00021.46"}, {"2", "*-00003.50"}, {"3", "*+00022.30"},
               {"5", "*+00115.00"}, {"6", "*+02577.70"}, {"7", "*-00412.25"}};
  // Twice round: nothing of one exchange may be left over for the next.
  for (int round = 0; round < 2; ++round) {
    for (const auto &c : cases)
      EXPECT_EQ(real.ask(c.address), c.frame) << "address " << c.address << " round " << round;
  }
  EXPECT_TRUE(real.messages.shown.empty());
}

// Every fault option of the simulator, each on its own module, as the exchange sees it.
TEST(RealSerialLine, FaultyRepliesAreFramedAsTheExchangeRulesSay) {
  DghSimProcess sim({"--pin", "1=21.46", "--error-reply", "1", "--pin", "2=21.1",
                     "--garbage-before", "2=x?y", "--pin", "3=22.3", "--high-bit", "3",
                     "--line-feed", "5", "--garbage-after", "6=zz", "--silent", "7"});
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  RealLink real(sim.devicePath());
  ASSERT_EQ(real.line.open(), PortError::None);

  const struct {
    const char *address;
    const char *reply;
  } cases[] = {
      {"1", "?+00021.46"}, // a "?" frame is returned like any other
      {"2", "*+00021.10"}, // characters ahead of the last start character are dropped
      {"3", "*+00022.30"}, // bit 7 is cleared on every character
      {"5", "TIMEOUT"},    // a line feed behind the carriage return
      {"6", "TIMEOUT"},    // characters behind the carriage return
      {"7", "TIMEOUT"},    // no reply, only the echo of the command
  };
  for (const auto &c : cases)
    EXPECT_EQ(real.ask(c.address), c.reply) << "address " << c.address;
  EXPECT_TRUE(real.line.portOpen());
}

// Module 6 answers 50 ms late, after its own 35 ms wait. Its frame waits in the receive buffer
// and the next exchange, whatever module it addresses, drains it.
TEST(RealSerialLine, ReplyAfterTheWaitIsSeenByTheNextExchange) {
  const struct {
    const char *name;
    QStringList options;
    const char *next;
    const char *reply;
  } cases[] = {
      // Nothing else arrives: the late frame is the answer to the next command.
      {"no echo, next module silent", {"--no-echo", "--silent", "5"}, "5", "*+02577.70"},
      // The echo of the next command lands behind the late frame's carriage return and is
      // taken into that frame, which then ends in the command's own carriage return.
      {"echo, next module silent", {"--silent", "5"}, "5", "*+02577.70\r$5RD"},
      // The next module's own frame starts over and discards the late one.
      {"echo, next module sound", {"--pin", "7=1111.11"}, "7", "*+01111.11"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DghSimProcess sim(QStringList{"--late", "6=50", "--pin", "6=2577.7"} + c.options);
    ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
    RealLink real(sim.devicePath());
    ASSERT_EQ(real.line.open(), PortError::None);

    EXPECT_EQ(real.ask("6"), "TIMEOUT");
    ASSERT_TRUE(waitForWaiting(real.line, 11)) << "the late frame never came";
    EXPECT_EQ(real.ask(c.next), c.reply);
    // And it is gone: the exchange after that gets only its own reply.
    EXPECT_EQ(real.ask("7").left(1), "*");
  }
}

TEST(RealSerialLine, ClosingAndReopeningThePortKeepsTheModulesAnswering) {
  DghSimProcess sim({"--pin", "3=22.3"});
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    // A new line object each time as well: what one left behind must not reach the next.
    RealLink real(sim.devicePath());
    for (int reopen = 0; reopen < 2; ++reopen) {
      ASSERT_EQ(real.line.open(), PortError::None) << real.line.lastErrorText().toStdString();
      EXPECT_EQ(real.ask("3"), "*+00022.30");
      // A reply received but not taken is dropped with the port.
      tiltdgh::SendCommand(real.link, QStringLiteral("$3RD\r"));
      ASSERT_TRUE(waitForWaiting(real.line, 16)); // echo and reply
      real.line.close();
    }
  }
}

// The simulator killed under an open port: the next exchange finds the device gone, whether its
// command's write or its read meets the hang-up first; the port ends up closed, and a new
// simulator on the same link opens again on the same port number.
TEST(RealSerialLine, KilledSimulatorLeavesThePortClosedAndANewOneOpensIt) {
  const struct {
    const char *name;
    bool sendFirst;
    const char *reply;
  } cases[] = {
      {"the command's write meets the hang-up", true, ""},
      {"the drain meets the hang-up", false, "TIMEOUT"},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString link = dir.filePath(QStringLiteral("ttyDGH"));
  RealLink real(link);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    {
      // A killed simulator leaves its link behind; each new one takes it over.
      DghSimProcess sim({"--link", link, "--pin", "6=2577.7"});
      ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
      real.line.setCommPort(1);
      ASSERT_EQ(real.line.open(), PortError::None) << real.line.lastErrorText().toStdString();
      ASSERT_EQ(real.ask("6"), "*+02577.70");
      ASSERT_TRUE(sim.endWith(SIGKILL));
    }

    if (c.sendFirst)
      tiltdgh::SendCommand(real.link, QStringLiteral("$6RD\r"));
    EXPECT_EQ(tiltdgh::ReadResponse(real.link), c.reply);
    EXPECT_FALSE(real.line.portOpen());
    EXPECT_TRUE(real.messages.shown.empty());

    EXPECT_EQ(real.ask("6"), "");
    ASSERT_EQ(real.messages.shown.size(), 1u);
    EXPECT_EQ(real.messages.shown[0].text, "Port Not open");
    EXPECT_EQ(real.messages.shown[0].title, "Port Failure");
    real.messages.shown.clear();
  }

  DghSimProcess again({"--link", link, "--pin", "6=2577.7"});
  ASSERT_FALSE(again.devicePath().isEmpty()) << again.errorOutput().toStdString();
  ASSERT_EQ(real.line.open(), PortError::None) << real.line.lastErrorText().toStdString();
  EXPECT_EQ(real.ask("6"), "*+02577.70");
}

TEST(RealSerialLine, OpeningFailuresAreTheTwoConditionsTheOperatorIsTold) {
  DghSimProcess sim;
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  QTemporaryDir dir;

  RealLink missing(dir.filePath(QStringLiteral("no-such-tty")));
  EXPECT_EQ(missing.line.open(), PortError::InvalidPort);
  EXPECT_FALSE(missing.line.portOpen());
  EXPECT_FALSE(missing.line.lastErrorText().isEmpty());

  RealLink holder(sim.devicePath());
  ASSERT_EQ(holder.line.open(), PortError::None);
  RealLink second(sim.devicePath());
  EXPECT_EQ(second.line.open(), PortError::PortInUse);
  EXPECT_FALSE(second.line.portOpen());
  EXPECT_FALSE(second.line.lastErrorText().isEmpty());
  // The holder is not disturbed by the attempt.
  EXPECT_EQ(holder.ask("5").left(1), "*");

  // Released, the device opens for the other line.
  holder.line.close();
  EXPECT_EQ(second.line.open(), PortError::None) << second.line.lastErrorText().toStdString();
  EXPECT_EQ(second.ask("5").left(1), "*");
}

} // namespace
