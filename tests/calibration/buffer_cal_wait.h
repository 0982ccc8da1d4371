#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <functional>

// Runs the event loop until `condition` holds or `timeoutMs` have passed; true when it holds.
// The limits are generous: these waits end as soon as the condition holds, so a busy machine
// only makes them slower, never failed.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs = 60000) {
  const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
  while (!condition()) {
    if (deadline.hasExpired())
      return false;
    QTest::qWait(20);
  }
  return true;
}
