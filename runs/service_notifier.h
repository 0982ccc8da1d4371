#pragma once

#include <QObject>
#include <QTimer>

namespace runs {

// Tells systemd how the program is doing, through the notify protocol: READY=1 once the
// window is up, STOPPING=1 at Exit, and WATCHDOG=1 while the event loop of the thread that
// owns this object runs. The pings come from a timer of that thread, so a frozen event loop
// stops them (and systemd restarts the program), while a modal dialog's nested loop keeps them
// going. Without NOTIFY_SOCKET in the environment (not started by systemd) nothing is sent.
class ServiceNotifier : public QObject {
  Q_OBJECT
public:
  // Decides here, from NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, whether to speak at all
  // and whether to ping: at half the watchdog interval when the watchdog is meant for this
  // process. Each message goes to the NOTIFY_SOCKET of the environment at that moment, so the
  // program leaves the variable as systemd set it.
  explicit ServiceNotifier(QObject *parent = nullptr);

  bool isActive() const { return m_active; }
  // The interval between WATCHDOG=1 pings in ms, 0 when there is no watchdog.
  int watchdogPingMs() const { return m_watchdog.isActive() ? m_watchdog.interval() : 0; }

  void ready();
  void stopping();

private:
  void send(const char *state);

  bool m_active = false;
  QTimer m_watchdog;
};

} // namespace runs
