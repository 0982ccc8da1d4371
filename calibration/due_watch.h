#pragma once

#include "state/acquisition_state.h"

#include <QDate>
#include <QObject>

#include <array>
#include <functional>

class QTimer;

namespace calibration {

// Watches whether each probe's calibration is due: its live calibration date older than its
// interval. Checks when asked, and every minute (so at the latest a minute after the date
// changes, and at least once an hour); emits dueChanged only when a probe's state changes.
class DueWatch : public QObject {
  Q_OBJECT
public:
  // `today` gives the local date; `state` must outlive the watch.
  explicit DueWatch(const AcquisitionState &state,
                    std::function<QDate()> today = &QDate::currentDate, QObject *parent = nullptr);

  // True when probe `probe` (1 or 2) was due at the last check.
  bool isDue(int probe) const { return m_due[probe == 2 ? 1 : 0]; }
  // "Calibration due: probe 1 (calibrated 2026-12-01, every 7 days)", one line per due probe;
  // empty when none is due.
  QString description() const;

  static constexpr int checkIntervalMs = 60 * 1000;

public slots:
  void check();

signals:
  void dueChanged();

private:
  const AcquisitionState &m_state;
  std::function<QDate()> m_today;
  std::array<bool, 2> m_due{false, false};
  std::array<int, 2> m_days{0, 0};
  QTimer *m_timer = nullptr;
};

} // namespace calibration
