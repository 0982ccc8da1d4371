#include "runs/port_watch.h"

#include <QFileInfo>

namespace runs {

PortWatch::PortWatch(int intervalMs, QObject *parent) : QObject(parent) {
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(intervalMs);
  connect(&m_timer, &QTimer::timeout, this, &PortWatch::look);
}

void PortWatch::watch(const QString &devicePath) {
  m_path = devicePath;
  m_timer.start();
}

void PortWatch::stop() { m_timer.stop(); }

void PortWatch::look() {
  // The static exists() asks the file system each time (no cached QFileInfo) and follows links.
  if (!QFileInfo::exists(m_path))
    return;
  m_timer.stop();
  emit deviceBack(m_path);
}

} // namespace runs
