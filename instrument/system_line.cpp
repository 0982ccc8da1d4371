#include "instrument/system_line.h"

namespace tiltdgh {

QString PortDevices::deviceFor(int port) const {
  const auto it = m_overrides.constFind(port);
  if (it != m_overrides.constEnd())
    return *it;
#ifdef Q_OS_WIN
  return QStringLiteral("COM%1").arg(port);
#else
  return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace tiltdgh
