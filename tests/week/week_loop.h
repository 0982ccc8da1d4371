#pragma once

#include "logging/log_controller.h"
#include "tests/support/fake_clock.h"

#include <QDateTime>
#include <QList>

#include <limits>

class QTimer;
class frmMain;

namespace plot {
class TrendPlot;
}

namespace weektest {

// The wall clock of a compressed run as a function of the run's elapsed time: it starts at
// `startMs` (milliseconds since the epoch) and is set back by `setBackMs` once, when the run has
// lasted `setBackAtMs`. Local dates and times follow the process's time zone.
struct WallClock {
  qint64 startMs = 0;
  qint64 setBackAtMs = std::numeric_limits<qint64>::max();
  qint64 setBackMs = 0;

  qint64 msAt(qint64 elapsedMs) const {
    return startMs + elapsedMs - (elapsedMs >= setBackAtMs ? setBackMs : 0);
  }
  QDateTime at(qint64 elapsedMs) const { return QDateTime::fromMSecsSinceEpoch(msAt(elapsedMs)); }
};

// The real window's timers run on simulated time, the way Qt's event loop runs them: tmrRd,
// tmrPlot and tmrLogger as precise periodic timers on the monotonic clock (a tick held up by a
// busy window runs as soon as it is free; a period it missed whole is skipped), the log
// controller's phase restart as a single-shot timer armed with a wall-clock delay. A read tick
// lasts as long as its exchanges' waits, which the fake clock jumps over, so a simulated second
// costs a fraction of a real millisecond. The window's own Qt timers are kept stopped: only the
// ticks driven here run. After each plot tick the window processes its events (the queued replot
// and the repaints). Every clock the window stamps with reads the simulated wall clock.
class CompressedLoop {
public:
  // `window` is loaded, its channels switched on; the run starts now, at elapsed time 0.
  CompressedLoop(frmMain &window, testsupport::FakeClock &clock, const WallClock &wall);

  // OK of the log set-up, at the present moment.
  void startLogging(const logging::LogChoice &choice);
  // cwPlot switched on, at the present moment.
  void startPlotting();
  // Runs every tick that falls due until the run has lasted `elapsedMs`.
  void runUntil(qint64 elapsedMs);
  qint64 elapsedMs() const { return m_elapsed; }
  QDateTime now() const { return m_wall.at(m_elapsed); }

  qint64 readTicks = 0;
  qint64 plotTicks = 0;
  qint64 logTicks = 0;
  qint64 phaseRestarts = 0;

private:
  static constexpr qint64 never = std::numeric_limits<qint64>::max();

  void moveTo(qint64 elapsedMs);
  void followLogTimers(bool restarted);
  void stopQtTimers();
  static qint64 nextPeriod(qint64 due, qint64 now, int interval);

  frmMain &m_window;
  testsupport::FakeClock &m_clock;
  WallClock m_wall;
  quint32 m_monoStart;
  qint64 m_elapsed = 0;
  logging::LogController *m_logging;
  plot::TrendPlot *m_trend;
  QList<QTimer *> m_qtTimers;
  QTimer *m_tmrRd;
  QTimer *m_tmrLogger;
  qint64 m_readDue;
  qint64 m_plotDue = never;
  qint64 m_logDue = never;
  qint64 m_phaseDue = never;
  qint64 m_phaseArmedWall = -1;
};

} // namespace weektest
