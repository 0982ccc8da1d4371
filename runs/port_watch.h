#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace runs {

// Waits for a serial device that went away to come back. Every intervalMs it looks whether
// the device path exists, resolving it afresh each time, so a /dev/serial/by-id/ name or any
// other symbolic link counts once its target exists (a dangling link does not). The first look
// is one interval after watch(). deviceBack comes once, and the watch then stops; a device that
// exists but cannot be opened yet is the caller's to watch again.
class PortWatch : public QObject {
  Q_OBJECT
public:
  explicit PortWatch(int intervalMs = 1000, QObject *parent = nullptr);

  // Starts watching `devicePath`, replacing any earlier watch.
  void watch(const QString &devicePath);
  void stop();
  bool isWatching() const { return m_timer.isActive(); }
  QString devicePath() const { return m_path; }

signals:
  // `path` is the one given to watch(), not what it resolves to.
  void deviceBack(const QString &path);

private:
  void look();

  QString m_path;
  QTimer m_timer;
};

} // namespace runs
