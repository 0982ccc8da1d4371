#include "runs/clock_watch.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace runs {

ClockWatch::ClockWatch(Clock wallMs, Clock monotonicMs, QObject *parent)
    : QObject(parent), m_wall(std::move(wallMs)), m_monotonic(std::move(monotonicMs)) {
  if (!m_wall)
    m_wall = [] { return QDateTime::currentMSecsSinceEpoch(); };
  if (!m_monotonic) {
    // QElapsedTimer reads CLOCK_MONOTONIC on Linux, which a step of the wall clock leaves alone.
    m_monotonic = [timer = QElapsedTimer()]() mutable {
      if (!timer.isValid())
        timer.start();
      return timer.elapsed();
    };
  }
  m_wallBase = m_wall();
  m_monotonicBase = m_monotonic();
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(1000);
  connect(&m_timer, &QTimer::timeout, this, &ClockWatch::check);
}

void ClockWatch::start() {
  m_wallBase = m_wall();
  m_monotonicBase = m_monotonic();
  m_timer.start();
}

void ClockWatch::stop() { m_timer.stop(); }

void ClockWatch::check() {
  const qint64 wall = m_wall();
  const qint64 monotonic = m_monotonic();
  const qint64 difference = (wall - m_wallBase) - (monotonic - m_monotonicBase);
  m_wallBase = wall;
  m_monotonicBase = monotonic;
  if (difference > jumpThresholdMs || difference < -jumpThresholdMs)
    emit clockJumped(difference);
}

} // namespace runs
