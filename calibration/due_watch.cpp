#include "calibration/due_watch.h"

#include "calibration/probe_care.h"
#include "state/quantities.h"

#include <QStringList>
#include <QTimer>

namespace calibration {

DueWatch::DueWatch(const AcquisitionState &state, std::function<QDate()> today, QObject *parent)
    : QObject(parent), m_state(state), m_today(std::move(today)) {
  m_timer = new QTimer(this);
  m_timer->setObjectName(QStringLiteral("tmrCalibrationDue"));
  m_timer->setTimerType(Qt::PreciseTimer);
  m_timer->setInterval(checkIntervalMs);
  connect(m_timer, &QTimer::timeout, this, &DueWatch::check);
  m_timer->start();
  check();
}

void DueWatch::check() {
  const QDate today = m_today();
  bool changed = false;
  for (int i = 0; i < 2; ++i) {
    m_days[i] = readProbeCare(i + 1).dueDays;
    const bool due = isCalibrationDue(m_state.*state::probe(i + 1).calDate, m_days[i], today);
    changed = changed || due != m_due[i];
    m_due[i] = due;
  }
  if (changed)
    emit dueChanged();
}

QString DueWatch::description() const {
  QStringList lines;
  for (int i = 0; i < 2; ++i)
    if (m_due[i])
      lines << QStringLiteral("Calibration due: probe %1 (calibrated %2, every %3 days)")
                   .arg(i + 1)
                   .arg((m_state.*state::probe(i + 1).calDate).toString(Qt::ISODate))
                   .arg(m_days[i]);
  return lines.join(QLatin1Char('\n'));
}

} // namespace calibration
