#include "instrument/qserial_line.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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

QStringList availableSerialDevices() {
  QStringList devices;
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
    QString entry = info.systemLocation();
    if (!info.description().isEmpty())
      entry += QStringLiteral(" (%1)").arg(info.description());
    devices << entry;
  }
  return devices;
}

QSerialLine::QSerialLine(PortDevices devices) : m_devices(std::move(devices)) {}

QSerialLine::~QSerialLine() { close(); }

QString QSerialLine::deviceName() const { return m_devices.deviceFor(m_commPort); }

PortError QSerialLine::open() {
  m_errorText.clear();
  if (m_port.isOpen()) {
    m_errorText = QStringLiteral("the port is already open");
    return PortError::PortInUse;
  }
  if (m_commPort < 1) {
    m_errorText = QStringLiteral("%1 is not a port number").arg(m_commPort);
    return PortError::InvalidPort;
  }
  const QString device = deviceName();
  m_port.setPortName(device);
  m_port.setBaudRate(QSerialPort::Baud19200);
  m_port.setDataBits(QSerialPort::Data8);
  m_port.setParity(QSerialPort::NoParity);
  m_port.setStopBits(QSerialPort::OneStop);
  m_port.setFlowControl(QSerialPort::NoFlowControl);
  m_port.setReadBufferSize(1024);
  if (!m_port.open(QIODevice::ReadWrite)) {
    const QSerialPort::SerialPortError error = m_port.error();
    m_errorText = m_port.errorString();
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device))
      return PortError::InvalidPort;
    if (error == QSerialPort::PermissionError) {
#ifdef Q_OS_UNIX
      // Qt reports a lock held by another program and missing access rights alike.
      if (::access(device.toLocal8Bit().constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        m_errorText = QStringLiteral("permission denied: serial devices belong to the \"dialout\" "
                                     "group; add your user to it (sudo adduser $USER dialout) and "
                                     "log in again");
        return PortError::Other;
      }
#endif
      return PortError::PortInUse;
    }
    return PortError::Other;
  }
  // Bytes that arrived before the port was opened belong to nobody.
  m_port.clear();
  return PortError::None;
}

void QSerialLine::close() {
  if (m_port.isOpen())
    m_port.close();
}

bool QSerialLine::portOpen() { return m_port.isOpen(); }

void QSerialLine::closeOnFailure() {
  m_errorText = m_port.errorString();
  m_port.close();
}

void QSerialLine::output(const QByteArray &bytes) {
  if (!m_port.isOpen())
    return;
  m_port.clearError();
  if (m_port.write(bytes) != bytes.size() || !m_port.waitForBytesWritten(100)) {
    const QSerialPort::SerialPortError error = m_port.error();
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
      closeOnFailure();
  }
}

int QSerialLine::inBufferCount() {
  if (!m_port.isOpen())
    return 0;
  m_port.clearError();
  // Without an event loop the bytes stay in the kernel until something reads them.
  m_port.waitForReadyRead(0);
  const QSerialPort::SerialPortError error = m_port.error();
  if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
    closeOnFailure();
    return 0;
  }
  return static_cast<int>(m_port.bytesAvailable());
}

QByteArray QSerialLine::input() {
  if (!m_port.isOpen())
    return QByteArray();
  return m_inputLen > 0 ? m_port.read(m_inputLen) : m_port.readAll();
}

} // namespace tiltdgh
