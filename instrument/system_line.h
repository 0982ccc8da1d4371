#pragma once

#include "instrument/serial_line.h"

#include <QMap>
#include <QStringList>

#include <memory>

namespace tiltdgh {

// Port numbers to device names: port N is COMN on Windows and /dev/ttyS{N-1} elsewhere, unless
// the command line mapped N to another device (--com N=DEVICE).
class PortDevices {
public:
  void map(int port, const QString &device) { m_overrides.insert(port, device); }
  QString deviceFor(int port) const;

private:
  QMap<int, QString> m_overrides;
};

// The serial devices the system lists, for telling the operator what there is.
QStringList availableSerialDevices();

// The line on this system's real serial ports (QSerialPort on Unix, the Win32 serial API on
// Windows), on port 1 until told otherwise and closed.
std::unique_ptr<SerialLine> makeSystemLine(PortDevices devices);

} // namespace tiltdgh
