#include "runs/clock_watch.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdio>

using namespace runs;

namespace {

TEST(ClockWatch, AStepOfMoreThanTwoSecondsEitherWayIsAJumpOfItsSignedSize) {
  struct Look {
    qint64 wallMoved;
    qint64 monotonicMoved;
    std::vector<qint64> jumps; // what this look emits
  };
  const Look looks[] = {
      {1000, 1000, {}},
      {3000, 1000, {}}, // exactly 2 s more: not yet a jump
      {3001, 1000, {2001}},
      {1000, 1000, {}}, // re-based: the next second is quiet again
      {-3601000, 1000, {-3602000}},
      {-1000, 1000, {}},     // 2 s back
      {1000, 9000, {-8000}}, // the wall clock stood still while time went on
      {30000, 30000, {}},    // a frozen event loop: both moved alike
      {1001500, 1000, {1000500}},
  };
  qint64 wall = 1'765'000'000'000;
  qint64 monotonic = 5;
  ClockWatch watch([&] { return wall; }, [&] { return monotonic; });
  QSignalSpy jumped(&watch, &ClockWatch::clockJumped);
  int index = 0;
  for (const Look &look : looks) {
    wall += look.wallMoved;
    monotonic += look.monotonicMoved;
    jumped.clear();
    watch.check();
    std::vector<qint64> seen;
    for (const QList<QVariant> &arguments : jumped)
      seen.push_back(arguments.at(0).toLongLong());
    EXPECT_EQ(seen, look.jumps) << "look " << index++;
  }
}

// The real clocks, with the wall clock stepped by libfaketime in a program of its own while the
// monotonic clock goes on untouched: the jump comes from the watch's own timer, with its size.
TEST(ClockWatch, SeesTheSystemWallClockSteppedUnderFaketime) {
  QTemporaryDir dir;
  const QString offsetFile = dir.filePath("offset");
  // Renamed into place, so libfaketime never reads a half-written offset.
  const auto setOffset = [&](const QByteArray &offset) {
    QFile file(offsetFile + ".new");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(offset + '\n');
    file.close();
    ASSERT_EQ(::rename(QFile::encodeName(file.fileName()).constData(),
                       QFile::encodeName(offsetFile).constData()),
              0);
  };
  setOffset("+0");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("LD_PRELOAD", BRELLIS_LIBFAKETIME);
  environment.insert("FAKETIME_TIMESTAMP_FILE", offsetFile);
  environment.insert("FAKETIME_NO_CACHE", "1");
  environment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
  environment.remove("FAKETIME");
  QProcess probe;
  probe.setProcessEnvironment(environment);
  probe.start(BRELLIS_CLOCK_JUMP_PROBE, {});
  ASSERT_TRUE(probe.waitForStarted(10000));
  const auto nextLine = [&] {
    while (!probe.canReadLine() && probe.waitForReadyRead(30000)) {
    }
    return probe.readLine().trimmed();
  };
  ASSERT_EQ(nextLine(), "watching");
  setOffset("+3600");
  const QByteArray forward = nextLine();
  setOffset("-90");
  const QByteArray back = nextLine();
  probe.closeWriteChannel(); // ends the probe
  probe.waitForFinished(10000);
  ASSERT_TRUE(forward.startsWith("jump ")) << forward.constData();
  ASSERT_TRUE(back.startsWith("jump ")) << back.constData();
  // The sizes are the steps, give or take the moment between reading the two clocks.
  EXPECT_NEAR(forward.mid(5).toLongLong(), 3'600'000, 200);
  EXPECT_NEAR(back.mid(5).toLongLong(), -3'690'000, 200);
}

} // namespace
