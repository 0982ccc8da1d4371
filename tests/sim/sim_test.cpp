#include "instrument/dgh_exchange.h"
#include "sim/simulated_bus.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_printers.h"
#include "tests/support/recorders.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <limits>

namespace {

using sim::DghModules;
using sim::ModuleFault;
using sim::TimedByte;

QByteArray bytesOf(const std::vector<TimedByte> &out) {
  QByteArray b;
  for (const TimedByte &t : out)
    b += t.byte;
  return b;
}

// The reply without the echo: everything from the last start character on.
QByteArray replyOf(const std::vector<TimedByte> &out) {
  const QByteArray all = bytesOf(out);
  return all.mid(all.lastIndexOf('*') >= 0 ? all.lastIndexOf('*') : all.lastIndexOf('?'));
}

constexpr quint32 top = std::numeric_limits<quint32>::max();

TEST(DghModules, EverySoundReplyIsCompleteWithinTheWaitAndTakesLineTime) {
  for (const quint32 t0 : {quint32(0), quint32(100000), top - 6}) {
    DghModules modules;
    for (const char address : {'1', '2', '3', '5', '6', '7'}) {
      const QByteArray command = QByteArray("$") + address + "RD\r";
      const std::vector<TimedByte> out = modules.receive(command, t0);
      ASSERT_FALSE(out.empty());
      const quint32 last = out.back().at - t0;
      // 5 command and 11 reply characters at 0.52 ms each cannot take less than 8.3 ms.
      EXPECT_GE(last, 9u) << address << " at " << t0;
      EXPECT_LE(last, 35u) << address << " at " << t0;
      EXPECT_EQ(out.back().byte, '\r');
      for (size_t i = 1; i < out.size(); ++i)
        EXPECT_LE(out[i - 1].at - t0, out[i].at - t0) << "arrival order " << address;
    }
  }
}

TEST(DghModules, RepliesLookLikeTheModulesAndEchoTheCommandFirst) {
  const QRegularExpression shape(QStringLiteral("^\\*[+-][0-9]{5}\\.[0-9]{2}\\r$"));
  DghModules modules;
  for (const char address : {'1', '2', '3', '5', '6', '7'}) {
    const QByteArray command = QByteArray("$") + address + "RD\r";
    const QByteArray all = bytesOf(modules.receive(command, 1000));
    EXPECT_TRUE(all.startsWith(command)) << all.toStdString();
    EXPECT_TRUE(shape.match(QString::fromLatin1(all.mid(command.size()))).hasMatch())
        << all.toStdString();
  }

  modules.setEcho(false);
  modules.pinReading('6', 2577.7);
  EXPECT_EQ(bytesOf(modules.receive("$6RD\r", 2000)), QByteArray("*+02577.70\r"));
  modules.pinReading('2', -5);
  EXPECT_EQ(bytesOf(modules.receive("$2RD\r", 2000)), QByteArray("*-00005.00\r"));
  modules.pinReading('5', 115);
  EXPECT_EQ(bytesOf(modules.receive("$5RD\r", 2000)), QByteArray("*+00115.00\r"));
}

TEST(DghModules, AnswersOnlyItsOwnAddressesAndOnlyTheReadCommandInFull) {
  DghModules modules;
  modules.setEcho(false);
  EXPECT_TRUE(modules.receive("$4RD\r", 0).empty());
  EXPECT_TRUE(modules.receive("$8RD\r", 0).empty());
  EXPECT_TRUE(modules.receive("6RD\r", 0).empty());
  EXPECT_EQ(bytesOf(modules.receive("$6XY\r", 0)), QByteArray("?6\r"));
  // A command may arrive in pieces; nothing comes back before its carriage return.
  EXPECT_TRUE(modules.receive("$7", 0).empty());
  EXPECT_EQ(replyOf(modules.receive("RD\r", 1)).size(), 11);
}

TEST(DghModules, ReadingsChangeAtMostEightTimesASecond) {
  for (const quint32 t0 : {quint32(0), top - 1000}) {
    DghModules modules(3);
    modules.setEcho(false);
    QByteArray previous;
    std::vector<quint32> changes;
    for (quint32 t = 0; t <= 2000; t += 5) {
      const QByteArray reply = bytesOf(modules.receive("$1RD\r", t0 + t));
      if (reply != previous)
        changes.push_back(t);
      previous = reply;
    }
    ASSERT_GE(changes.size(), 5u) << "the reading should move at all";
    EXPECT_LE(changes.size(), 17u);
    for (size_t i = 1; i < changes.size(); ++i)
      EXPECT_GE(changes[i] - changes[i - 1], 125u) << t0;
  }
}

TEST(DghModules, TheSameSeedGivesTheSameReplies) {
  DghModules a(42), b(42), c(43);
  QByteArray fromA, fromB, fromC;
  for (quint32 t = 0; t < 5000; t += 200) {
    for (const char *command : {"$6RD\r", "$1RD\r", "$5RD\r"}) {
      fromA += bytesOf(a.receive(command, t));
      fromB += bytesOf(b.receive(command, t));
      fromC += bytesOf(c.receive(command, t));
    }
  }
  EXPECT_EQ(fromA, fromB);
  EXPECT_NE(fromA, fromC);
}

struct BusExchange {
  explicit BusExchange(quint32 start = 1000) : clock(start), bus(clock, modules) {
    EXPECT_EQ(bus.open(), tiltdgh::PortError::None);
    modules.pinReading('6', 2577.7);
  }
  QString exchange(const char *command) {
    tiltdgh::SendCommand(link, QString::fromLatin1(command));
    return tiltdgh::ReadResponse(link);
  }
  testsupport::FakeClock clock;
  DghModules modules;
  sim::SimulatedBus bus;
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{bus, clock, messages};
};

TEST(SimulatedBus, FaultsReachTheExchangeAsARealLineWouldDeliverThem) {
  struct Row {
    const char *name;
    ModuleFault fault;
    const char *result;
  };
  const auto fault = [](auto set) {
    ModuleFault f;
    set(f);
    return f;
  };
  const Row rows[] = {
      {"sound, echo dropped", {}, "*+02577.70"},
      {"silent", fault([](ModuleFault &f) { f.silent = true; }), "TIMEOUT"},
      {"error reply", fault([](ModuleFault &f) { f.errorReply = true; }), "?+02577.70"},
      {"garbage before", fault([](ModuleFault &f) { f.garbageBefore = "xx"; }), "*+02577.70"},
      {"a false start before", fault([](ModuleFault &f) { f.garbageBefore = "*9"; }), "*+02577.70"},
      {"garbage after", fault([](ModuleFault &f) { f.garbageAfter = "zz"; }), "TIMEOUT"},
      {"line feed after", fault([](ModuleFault &f) { f.lineFeedAfter = true; }), "TIMEOUT"},
      {"bit 7 set", fault([](ModuleFault &f) { f.highBit = true; }), "*+02577.70"},
      {"late but in time", fault([](ModuleFault &f) { f.lateMs = 20; }), "*+02577.70"},
      {"late by 30 ms", fault([](ModuleFault &f) { f.lateMs = 30; }), "TIMEOUT"},
  };
  for (const Row &r : rows) {
    BusExchange x;
    x.modules.setFault('6', r.fault);
    EXPECT_EQ(x.exchange("$6RD\r").toStdString(), r.result) << r.name;
    EXPECT_EQ(quint32(x.clock.peek() - 1000), 35u) << r.name;
  }
}

TEST(SimulatedBus, ALateReplyArrivesAfterTheWaitAndAnswersTheNextCommand) {
  for (const quint32 start : {quint32(1000), top - 20}) {
    BusExchange x(start);
    ModuleFault late;
    late.lateMs = 40;
    x.modules.setFault('6', late);
    EXPECT_EQ(x.exchange("$6RD\r"), "TIMEOUT");
    // Nothing listens at address 4: the reply still on its way is taken as its answer.
    EXPECT_EQ(x.exchange("$4RD\r"), "*+02577.70");
  }
}

TEST(SimulatedBus, OpensAnyPortFromOneUpAndEmptiesItsBufferOnOpenAndClose) {
  testsupport::FakeClock clock(0);
  DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  struct Row {
    int port;
    tiltdgh::PortError result;
  };
  for (const Row &r :
       {Row{0, tiltdgh::PortError::InvalidPort}, Row{-3, tiltdgh::PortError::InvalidPort},
        Row{1, tiltdgh::PortError::None}, Row{16, tiltdgh::PortError::None}}) {
    bus.setCommPort(r.port);
    EXPECT_EQ(bus.open(), r.result) << r.port;
    EXPECT_EQ(bus.portOpen(), r.result == tiltdgh::PortError::None) << r.port;
    if (bus.portOpen()) {
      EXPECT_EQ(bus.open(), tiltdgh::PortError::PortInUse) << r.port;
      bus.close();
    }
  }

  ASSERT_EQ(bus.open(), tiltdgh::PortError::None);
  bus.output("$6RD\r");
  clock.advance(35);
  EXPECT_GT(bus.inBufferCount(), 0);
  bus.close();
  EXPECT_EQ(bus.inBufferCount(), 0);
  bus.output("$6RD\r"); // a closed line sends nothing
  ASSERT_EQ(bus.open(), tiltdgh::PortError::None);
  clock.advance(35);
  EXPECT_EQ(bus.inBufferCount(), 0);
}

TEST(SimulatedBus, InputTakesInputLenCharactersOrAllThatWait) {
  testsupport::FakeClock clock(0);
  DghModules modules;
  modules.setEcho(false);
  modules.pinReading('5', 115);
  sim::SimulatedBus bus(clock, modules);
  ASSERT_EQ(bus.open(), tiltdgh::PortError::None);
  bus.output("$5RD\r");
  EXPECT_EQ(bus.inBufferCount(), 0); // nothing has arrived yet
  clock.advance(35);
  bus.setInputLen(1);
  EXPECT_EQ(bus.input(), QByteArray("*"));
  bus.setInputLen(0);
  EXPECT_EQ(bus.input(), QByteArray("+00115.00\r"));
  EXPECT_EQ(bus.inBufferCount(), 0);
}

} // namespace

// Two replies on the line at once: one follows the other whole, whether both answer one read of
// the terminal or a late reply meets the next command's in the in-process line.
TEST(SimulatedLine, TwoRepliesOnTheLineAtOnceNeverShareCharacters) {
  const QByteArray late = "*+02577.70\r", sound = "*+01111.11\r";
  const struct {
    const char *name;
    quint32 lateMs;
    bool oneRead; // both commands in one call, or the second after the first's wait
  } cases[] = {
      {"two commands in one read", 0, true},
      {"a late reply meeting the next one", 38, false},
      {"a late reply ending inside the next one", 33, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BusExchange x;
    x.modules.pinReading('7', 1111.11);
    x.modules.setEcho(false);
    ModuleFault fault;
    fault.lateMs = c.lateMs;
    x.modules.setFault('6', fault);
    if (c.oneRead) {
      x.bus.output("$6RD\r$7RD\r");
    } else {
      x.bus.output("$6RD\r");
      x.clock.advance(35);
      x.bus.output("$7RD\r");
    }
    x.clock.advance(100);
    x.bus.setInputLen(0);
    const QByteArray all = x.bus.input();
    EXPECT_EQ(all.size(), late.size() + sound.size());
    EXPECT_TRUE(all.contains(late)) << all.toStdString();
    EXPECT_TRUE(all.contains(sound)) << all.toStdString();
  }
}
