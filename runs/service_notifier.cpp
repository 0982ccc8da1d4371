#include "runs/service_notifier.h"

#if BRELLIS_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <algorithm>

namespace runs {

ServiceNotifier::ServiceNotifier(QObject *parent) : QObject(parent) {
  m_active = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
  if (!m_active)
    return;
#if BRELLIS_SYSTEMD
  uint64_t watchdogUsec = 0;
  if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
    const uint64_t halfMs = std::max<uint64_t>(1, watchdogUsec / 2000);
    m_watchdog.setTimerType(Qt::PreciseTimer);
    m_watchdog.setInterval(int(std::min<uint64_t>(halfMs, 1u << 30)));
    connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    m_watchdog.start();
  }
#endif
}

void ServiceNotifier::ready() { send("READY=1"); }

// The pings go on after STOPPING=1: the program is still alive while it closes its files.
void ServiceNotifier::stopping() { send("STOPPING=1"); }

void ServiceNotifier::send(const char *state) {
#if BRELLIS_SYSTEMD
  if (m_active)
    sd_notify(0, state);
#else
  Q_UNUSED(state);
#endif
}

} // namespace runs
