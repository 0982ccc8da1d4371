#pragma once

#include "instrument/serial_line.h"

#include <QString>

namespace tiltdgh {

// Holds a serial device for this program alone while its port is open, and tells why a device
// cannot be had. The platform-dependent part of the real line: on Unix a descriptor of its own on
// the device with flock(LOCK_EX), then TIOCEXCL once the port is open (port_lock_posix.cpp); a
// port to another system replaces that one file.
class PortLock {
public:
  PortLock() = default;
  ~PortLock() { release(); }
  PortLock(const PortLock &) = delete;
  PortLock &operator=(const PortLock &) = delete;

  // Before the port opens: checks that `device` is a serial device nobody holds, and locks it.
  // On failure sets `errorText` and returns InvalidPort (no such device, not a terminal),
  // PortInUse (another program holds it) or Other (no access, anything else).
  PortError claim(const QString &device, QString &errorText);
  // After the port opened: no further open of the device succeeds until release().
  void holdExclusively();
  // Drops the lock and the exclusive hold (only one this object set).
  void release();

  // True when `device` exists but this user may not read and write it; the text to show.
  static bool accessDenied(const QString &device, QString &errorText);

private:
  int m_fd = -1;
  bool m_exclusive = false;
};

} // namespace tiltdgh
