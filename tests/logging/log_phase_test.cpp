#include "logging_test_support.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <limits>

namespace {

using logtest::fileBytes;
using logtest::Harness;

// Drives the controller through an hour of logging on a fake clock, the way Qt's event loop
// would: tmrLogger as a precise periodic timer on the monotonic clock, the controller's phase
// restart as a single-shot timer armed with a wall-clock delay, the wall clock drifting against
// the monotonic one, and the window held by read ticks of `busyMs` every `readPeriodMs`, whose
// phase sweeps across the second. A timer that falls due inside a read tick runs when it ends.
struct EventLoopModel {
  Harness &h;
  qint64 wallStartMs;
  double driftPpm;
  int busyMs;
  int readPeriodMs;

  qint64 mono = 0;
  qint64 naturalDue = std::numeric_limits<qint64>::max();
  qint64 phaseDue = std::numeric_limits<qint64>::max();
  qint64 armedWall = -1;

  qint64 wall() const { return wallStartMs + mono + qint64(double(mono) * driftPpm * 1e-6); }
  void setClock() { h.now = QDateTime::fromMSecsSinceEpoch(wall()); }

  // When a timer due at `due` runs: after the read tick that holds the window, if any.
  qint64 runAt(qint64 due) const {
    const qint64 into = due % readPeriodMs;
    return into < busyMs ? due - into + busyMs : due;
  }

  // What a call into the controller did to its timers.
  void follow(bool restartedTimer) {
    if (restartedTimer)
      naturalDue = mono + h.timer->interval();
    const qint64 armed = h.controller->phaseDueAtMs();
    if (armed != armedWall) {
      armedWall = armed;
      phaseDue = armed < 0 ? std::numeric_limits<qint64>::max() : mono + (armed - wall());
    }
  }

  void start(const logging::LogChoice &choice) {
    setClock();
    h.controller->setup();
    h.controller->startLogging(choice);
    follow(true);
  }

  void runUntil(qint64 endMono) {
    while (mono < endMono) {
      const bool natural = naturalDue <= phaseDue;
      const qint64 due = natural ? naturalDue : phaseDue;
      mono = std::max(mono, runAt(due) + 1); // a precise timer still runs a millisecond late
      setClock();
      if (natural) {
        // Qt's precise timers keep their schedule and skip what a long hold-up made them miss.
        naturalDue += h.timer->interval();
        if (naturalDue < mono)
          naturalDue = mono + h.timer->interval();
        h.controller->writeTick();
        follow(false);
      } else {
        phaseDue = std::numeric_limits<qint64>::max();
        armedWall = -1;
        h.controller->phaseDue();
        follow(true);
      }
    }
  }
};

// Seconds of the day of every record's "hh:mm:ss" stamp, in file order.
QList<int> recordSeconds(const QByteArray &file) {
  static const QRegularExpression stamp(QStringLiteral("^\"(\\d\\d):(\\d\\d):(\\d\\d)\","),
                                        QRegularExpression::MultilineOption);
  QList<int> seconds;
  auto it = stamp.globalMatch(QString::fromLatin1(file));
  while (it.hasNext()) {
    const auto m = it.next();
    seconds << m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
  }
  return seconds;
}

TEST(LogPhase, RecordsAtAWholeSecondOrMoreCarryTimesExactlyOneIntervalApart) {
  struct Case {
    int intervalMs;
    int records;
    double driftPpm;
    int okIntoSecondMs;
  };
  // An hour each; the wall clock running fast or slow against the timers by 100 ppm drifts a
  // third of a second over the hour, more than the phase leaves before a second boundary.
  const Case cases[] = {
      {1000, 3600, 0, 730}, {1000, 3600, 100, 20}, {1000, 3600, -100, 990},
      {10000, 360, 0, 400}, {10000, 360, -100, 0}, {60000, 60, 100, 555},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.intervalMs << " ms, drift " << c.driftPpm << " ppm");
    QTemporaryDir dir;
    const QString path = dir.filePath("phase.csv");
    Harness h;
    const qint64 ok =
        QDateTime(QDate(2026, 12, 7), QTime(23, 30, 0)).toMSecsSinceEpoch() + c.okIntoSecondMs;
    // Read ticks of 210 ms, six channels at the fastest rate, whose start wanders over the second.
    EventLoopModel loop{h, ok, c.driftPpm, 210, 211};
    loop.start({true, false, path, c.intervalMs});
    loop.runUntil(qint64(c.records) * c.intervalMs + 1500);
    h.controller->stopLogging();

    const QList<int> seconds = recordSeconds(fileBytes(path));
    ASSERT_GE(seconds.size(), c.records);
    const int step = c.intervalMs / 1000;
    // The first record falls within a second of one interval after OK.
    const int okSecond = int((ok / 1000) % 86400 + 86400) % 86400;
    const int firstDelay = (seconds.first() - okSecond + 86400) % 86400;
    EXPECT_GE(firstDelay, step);
    EXPECT_LE(firstDelay, step + 1);
    int wrong = 0;
    for (int i = 1; i < c.records; ++i)
      if ((seconds[i] - seconds[i - 1] + 86400) % 86400 != step && ++wrong < 4)
        ADD_FAILURE() << "record " << i << " at second " << seconds[i] << " follows "
                      << seconds[i - 1];
    EXPECT_EQ(wrong, 0);
  }
}

TEST(LogPhase, IntervalsBelowASecondTickFreelyWithoutAPhase) {
  QTemporaryDir dir;
  Harness h;
  h.controller->setup();
  h.controller->startLogging({true, false, dir.filePath("fast.csv"), 500});
  EXPECT_EQ(h.controller->phaseDueAtMs(), -1);
  EXPECT_EQ(h.timer->interval(), 500);
  EXPECT_EQ(h.timer->timerType(), Qt::PreciseTimer);
}

} // namespace
