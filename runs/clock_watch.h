#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace runs {

// Watches the wall clock against the monotonic clock: once a second (or at each check()) it
// compares how far each moved since the last look. When they differ by more than
// jumpThresholdMs either way, the wall clock was stepped (set by hand, synchronised late):
// clockJumped says by how much and the watch takes the new wall time as its base. Slow drift
// and a frozen event loop (both clocks move alike) are no jump.
class ClockWatch : public QObject {
  Q_OBJECT
public:
  using Clock = std::function<qint64()>; // milliseconds

  static constexpr qint64 jumpThresholdMs = 2000;

  // Empty clocks are the real ones: the wall clock (UTC ms since the epoch) and CLOCK_MONOTONIC.
  explicit ClockWatch(Clock wallMs = {}, Clock monotonicMs = {}, QObject *parent = nullptr);

  // Looks once a second on the caller's thread until stop(); the first look is a second after.
  void start();
  void stop();
  bool isActive() const { return m_timer.isActive(); }

  // Looks now: compares the clocks with the last look (or construction) and re-bases.
  void check();

signals:
  // The wall clock moved signedMs more than the monotonic clock: positive when it jumped forward.
  void clockJumped(qint64 signedMs);

private:
  Clock m_wall;
  Clock m_monotonic;
  qint64 m_wallBase = 0;
  qint64 m_monotonicBase = 0;
  QTimer m_timer;
};

// Whether the kernel reports the system clock as not synchronised (adjtimex: STA_UNSYNC set, or
// the TIME_ERROR state). False when the kernel cannot be asked.
bool systemClockUnsynchronised();

} // namespace runs
