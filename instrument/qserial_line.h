#pragma once

#include "instrument/port_lock.h"
#include "instrument/serial_line.h"
#include "instrument/system_line.h"

#include <QSerialPort>
#include <QStringList>
#include <QTimer>

namespace tiltdgh {

// The line on a real serial port: 19200 baud, 8 data bits, no parity, 1 stop bit, no
// handshaking, a receive buffer of 1024 characters. Works without an event loop: commands are
// pushed out at once and inBufferCount() pulls waiting bytes from the operating system.
//
// The port is held exclusively while open: Qt's lock file, flock(LOCK_EX) and TIOCEXCL on Unix.
// A port that another program holds in any of these ways is PortInUse; every "no such device"
// error at open (ENOENT, ENXIO, ENODEV, EIO, not a terminal) is InvalidPort.
//
// A device that goes away is noticed by the exchange that meets it and, while the event loop
// runs, between exchanges too (within a quarter of a second): the port is closed in both cases,
// silently, whether Qt reports the hang-up as an error (Qt 6.4) or not at all (Qt 6.8).
class QSerialLine final : public SerialLine {
public:
  explicit QSerialLine(PortDevices devices);
  ~QSerialLine() override;

  int commPort() const override { return m_commPort; }
  void setCommPort(int port) override { m_commPort = port; }
  PortError open() override;
  void close() override;
  bool portOpen() override;
  void output(const QByteArray &bytes) override;
  void setInputLen(int count) override { m_inputLen = count; }
  int inBufferCount() override;
  QByteArray input() override;
  QString deviceName() const override;
  QString lastErrorText() const override { return m_errorText; }

private:
  // A read, write or resource error while open means the device is gone (a USB adapter pulled,
  // the other end of a pseudo-terminal closed): the port is closed so the exchange sees it.
  // lastErrorText() becomes reason, or the port's own error text when none is given.
  void closeOnFailure(const QString &reason = QString());
  // The port's own error signal, which the event loop raises when the device hangs up between
  // exchanges (Qt's read notifier then fires on the dead descriptor without end).
  void onPortError(QSerialPort::SerialPortError error);

  PortDevices m_devices;
  QSerialPort m_port;
  int m_commPort = 1;
  int m_inputLen = 0;
  QString m_errorText;
  // Holds the device for this program for as long as the port is open.
  PortLock m_lock;
  // While open, asks the descriptor whether its device hung up; the only sign of it on an idle
  // port where Qt reports none.
  QTimer m_hangUpCheck;
  // Counts opens, so that a close queued for a hang-up never closes a port opened after it.
  quint64 m_opened = 0;
  // Depth of the calls of the exchange in progress; they handle the errors they meet themselves.
  int m_inCall = 0;
};

} // namespace tiltdgh
