#include "instrument/dgh_exchange.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_printers.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using testsupport::FakeClock;
using testsupport::RecordingMessages;
using testsupport::ScriptedLine;

struct Exchange {
  explicit Exchange(quint32 start = 1000) : clock(start), line(clock) {}
  FakeClock clock;
  ScriptedLine line;
  RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
};

TEST(ReadResponse, FramesWhatHasArrivedByTheEndOfTheWait) {
  struct Row {
    const char *name;
    QByteArray bytes;
    quint32 arrivesAfterMs;
    const char *result;
  };
  const Row rows[] = {
      {"a whole reply", "*+00012.34\r", 10, "*+00012.34"},
      {"characters before the start are dropped", "xx*1.0\r", 10, "*1.0"},
      {"the echo of the command is dropped", "$6RD\r*+02577.70\r", 10, "*+02577.70"},
      {"the second start character restarts the frame", "*A\r*B\r", 10, "*B"},
      {"a line feed behind the carriage return", "*A\r\n", 10, "TIMEOUT"},
      {"characters behind the frame", "*A\rB", 10, "TIMEOUT"},
      {"a start character behind the frame", "*A\r?", 10, "TIMEOUT"},
      {"a carriage return alone", "\r", 10, "TIMEOUT"},
      {"nothing at all", "", 10, "TIMEOUT"},
      {"a frame without its carriage return", "*+00012", 10, "TIMEOUT"},
      {"a start character and a carriage return", "*\r", 10, "*"},
      {"a frame beginning with ?", "?6\r", 10, "?6"},
      {"0xAA is * with bit 7 set",
       "\xAA"
       "1.0\r",
       10, "*1.0"},
      {"0xBF is ? with bit 7 set",
       "\xBF"
       "1\r",
       10, "?1"},
      {"bit 7 is cleared on data and carriage return", "*\xC1\x8D", 10, "*A"},
      {"an inner carriage return is data", "*A\r\r", 10, "*A\r"},
      {"a reply complete exactly at the end of the wait", "*9\r", 35, "*9"},
      {"a reply one millisecond too late", "*9\r", 36, "TIMEOUT"},
  };
  for (const Row &r : rows) {
    Exchange x;
    x.line.deliverAt(x.clock.peek() + r.arrivesAfterMs, r.bytes);
    EXPECT_EQ(tiltdgh::ReadResponse(x.link).toStdString(), r.result) << r.name;
    EXPECT_EQ(x.line.inputLen(), 1) << r.name;
    EXPECT_TRUE(x.messages.shown.empty()) << r.name;
  }
}

TEST(ReadResponse, ReplyAfterTheWaitIsSeenByTheNextExchange) {
  Exchange x;
  const quint32 t0 = x.clock.peek();
  x.line.deliverAt(t0 + 40, "*OLD\r");
  EXPECT_EQ(tiltdgh::ReadResponse(x.link), "TIMEOUT");
  EXPECT_EQ(x.line.bytesLeft(), 5);
  // The next module is silent: the old reply is taken as its answer.
  EXPECT_EQ(tiltdgh::ReadResponse(x.link), "*OLD");

  // When the next module does answer in time, its start character discards the old frame.
  Exchange y;
  const quint32 t1 = y.clock.peek();
  y.line.deliverAt(t1 + 40, "*OLD\r");
  y.line.deliverAt(t1 + 50, "*NEW\r");
  EXPECT_EQ(tiltdgh::ReadResponse(y.link), "TIMEOUT");
  EXPECT_EQ(tiltdgh::ReadResponse(y.link), "*NEW");
  EXPECT_EQ(y.line.bytesLeft(), 0);
}

TEST(ReadResponse, ClosedPortGivesEmptyTextAtOnceWithoutAMessage) {
  Exchange x;
  x.line.deliverAt(x.clock.peek(), "*1\r");
  x.line.setOpen(false);
  const quint32 before = x.clock.peek();
  EXPECT_EQ(tiltdgh::ReadResponse(x.link), QString());
  EXPECT_TRUE(tiltdgh::ReadResponse(x.link).isEmpty());
  EXPECT_EQ(x.clock.peek(), before);
  EXPECT_EQ(x.clock.sleeps(), 0);
  EXPECT_EQ(x.line.inputCalls(), 0);
  EXPECT_TRUE(x.messages.shown.empty());
}

TEST(SendCommand, WritesTheWholeCommandOnceWhenOpenAndWarnsOnceWhenClosed) {
  Exchange x;
  tiltdgh::SendCommand(x.link, QStringLiteral("$6RD\r"));
  tiltdgh::SendCommand(x.link, QStringLiteral("$1RD\r"));
  ASSERT_EQ(x.line.written().size(), 2);
  EXPECT_EQ(x.line.written()[0], QByteArray("$6RD\r"));
  EXPECT_EQ(x.line.written()[1], QByteArray("$1RD\r"));
  EXPECT_TRUE(x.messages.shown.empty());

  x.line.setOpen(false);
  tiltdgh::SendCommand(x.link, QStringLiteral("$7RD\r"));
  EXPECT_EQ(x.line.written().size(), 2);
  ASSERT_EQ(x.messages.shown.size(), 1u);
  EXPECT_EQ(x.messages.shown[0].text, "Port Not open");
  EXPECT_EQ(x.messages.shown[0].title, "Port Failure");
}

TEST(WaitMs, LastsExactlyTheWholeMillisecondsAlsoAcrossTheWrap) {
  struct Row {
    quint32 start;
    float ms;
    quint32 elapsed;
  };
  constexpr quint32 top = std::numeric_limits<quint32>::max();
  const Row rows[] = {
      {0, 35, 35},
      {123456, 35.9f, 35},
      {top - 10, 35, 35},    // wraps past 2^32
      {top, 35, 35},         // one millisecond before the wrap
      {0x7FFFFFF0u, 35, 35}, // crosses the signed boundary
      {0x80000000u, 35, 35}, // starts on the negative side
      {5000, 0.9f, 0},       // no whole millisecond
      {5000, -3, 0},         // nothing to wait for
      {5000, std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const Row &r : rows) {
    FakeClock clock(r.start);
    tiltdgh::WaitMs(clock, r.ms);
    EXPECT_EQ(quint32(clock.peek() - r.start), r.elapsed) << r.start << " " << r.ms;
  }
}

TEST(WaitMs, SpinsOnTheClockWhenTheSleepWakesEarly) {
  // The sleep wakes 3 ms early and every read moves the clock by 1 ms: the wait reads the
  // clock until it shows the target and not once more.
  constexpr quint32 top = std::numeric_limits<quint32>::max();
  // top - 33: the sleep wakes before the wrap and the target lies after it.
  for (const quint32 start : {quint32(100), top - 20, top - 33}) {
    FakeClock clock(start);
    clock.setShortfall(3);
    clock.setStepPerRead(1);
    tiltdgh::WaitMs(clock, 35);
    // start read (+1), sleep to start+32, reads at 32, 33, 34, 35.
    EXPECT_EQ(quint32(clock.peek() - start), 36u) << start;
    EXPECT_EQ(clock.reads(), 5) << start;
    EXPECT_EQ(clock.sleeps(), 1) << start;
  }
}

TEST(ReadResponse, WaitsThirtyFiveMillisecondsBeforeDraining) {
  constexpr quint32 top = std::numeric_limits<quint32>::max();
  for (const quint32 start : {quint32(0), top - 5}) {
    Exchange x(start);
    x.line.deliverAt(start + 20, "*1\r");
    EXPECT_EQ(tiltdgh::ReadResponse(x.link), "*1");
    EXPECT_EQ(quint32(x.clock.peek() - start), 35u) << start;
  }
}

TEST(ReadResponse, ALineThatNeverRunsDryEndsTheDrain) {
  for (const char byte : {'x', '*', '\r'}) {
    Exchange x;
    x.line.flood(byte);
    const QString reply = tiltdgh::ReadResponse(x.link);
    EXPECT_LT(x.line.inputCalls(), 1000) << byte;
    EXPECT_GT(x.line.inputCalls(), 100) << byte;
    // Whatever the flood holds, it never ends in a frame whose last character is a CR.
    EXPECT_EQ(reply, "TIMEOUT") << byte;
  }
}

} // namespace
