#include "tests/week/week_loop.h"

#include "console/frm_main.h"
#include "plot/trend_plot.h"
#include "widgets/two_state_switch.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace weektest {

CompressedLoop::CompressedLoop(frmMain &window, testsupport::FakeClock &clock,
                               const WallClock &wall)
    : m_window(window), m_clock(clock), m_wall(wall), m_monoStart(clock.peek()),
      m_logging(window.findChild<logging::LogController *>()),
      m_trend(window.findChild<plot::TrendPlot *>()),
      m_tmrRd(window.findChild<QTimer *>(QStringLiteral("tmrRd"))),
      m_tmrLogger(window.findChild<QTimer *>(QStringLiteral("tmrLogger"))) {
  Q_ASSERT(m_logging && m_trend && m_tmrRd && m_tmrLogger);
  m_qtTimers = {m_tmrRd, m_tmrLogger, window.findChild<QTimer *>(QStringLiteral("tmrPlot"))};
  m_qtTimers += m_logging->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
  const auto clockNow = [this] { return m_wall.at(qint64(quint32(m_clock.peek() - m_monoStart))); };
  m_logging->setClock(clockNow);
  m_trend->setClock(clockNow);
  m_readDue = m_tmrRd->interval();
  stopQtTimers();
}

void CompressedLoop::startLogging(const logging::LogChoice &choice) {
  m_logging->startLogging(choice);
  followLogTimers(true);
  stopQtTimers();
}

void CompressedLoop::startPlotting() {
  m_window.findChild<widgets::TwoStateSwitch *>(QStringLiteral("cwPlot"))->setChecked(true);
  m_plotDue = m_elapsed + 1000;
  stopQtTimers();
}

void CompressedLoop::moveTo(qint64 elapsedMs) {
  m_elapsed = std::max(m_elapsed, elapsedMs);
  m_clock.set(m_monoStart + quint32(m_elapsed));
}

qint64 CompressedLoop::nextPeriod(qint64 due, qint64 now, int interval) {
  // Qt's precise timers keep their schedule and skip what a long hold-up made them miss.
  const qint64 next = due + interval;
  return next < now ? now + interval : next;
}

void CompressedLoop::followLogTimers(bool restarted) {
  if (restarted)
    m_logDue = m_logging->isLogging() ? m_elapsed + m_tmrLogger->interval() : never;
  const qint64 armed = m_logging->phaseDueAtMs();
  if (armed != m_phaseArmedWall) {
    m_phaseArmedWall = armed;
    m_phaseDue = armed < 0 ? never : m_elapsed + std::max<qint64>(0, armed - m_wall.msAt(m_elapsed));
  }
  if (!m_logging->isLogging())
    m_logDue = m_phaseDue = never;
}

void CompressedLoop::stopQtTimers() {
  for (QTimer *timer : m_qtTimers)
    timer->stop();
}

void CompressedLoop::runUntil(qint64 elapsedMs) {
  while (true) {
    const qint64 due = std::min({m_readDue, m_plotDue, m_logDue, m_phaseDue});
    if (due > elapsedMs)
      break;
    moveTo(due);
    if (due == m_phaseDue) {
      m_phaseDue = never;
      m_phaseArmedWall = -1;
      m_logging->phaseDue();
      ++phaseRestarts;
      followLogTimers(true);
    } else if (due == m_logDue) {
      m_logDue = nextPeriod(due, m_elapsed, m_tmrLogger->interval());
      m_logging->writeTick();
      ++logTicks;
      followLogTimers(false);
    } else if (due == m_readDue) {
      m_window.readTick();
      ++readTicks;
      moveTo(qint64(quint32(m_clock.peek() - m_monoStart)));
      m_readDue = nextPeriod(due, m_elapsed, m_tmrRd->interval());
    } else {
      m_trend->plotTick();
      ++plotTicks;
      QCoreApplication::processEvents();
      m_plotDue = nextPeriod(due, m_elapsed, 1000);
    }
    stopQtTimers();
  }
  moveTo(elapsedMs);
}

} // namespace weektest
