#include "instrument/qserial_line.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace tiltdgh {

namespace {

// Marks a call of the exchange in progress for as long as it lasts.
class InCall {
public:
  explicit InCall(int &depth) : m_depth(depth) { ++m_depth; }
  ~InCall() { --m_depth; }
  InCall(const InCall &) = delete;
  InCall &operator=(const InCall &) = delete;

private:
  int &m_depth;
};

// Whether the device behind an open descriptor has hung up (a USB adapter pulled, the other end of
// a pseudo-terminal closed). Qt 6.4 reports that as a read or resource error; Qt 6.8 reads 0 bytes
// and reports nothing, so the descriptor is asked directly.
bool hungUp(qintptr descriptor) {
#ifdef Q_OS_UNIX
  pollfd fd{int(descriptor), POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLNVAL)) != 0;
#else
  Q_UNUSED(descriptor);
  return false;
#endif
}

// How often an idle open port is asked whether its device is still there.
constexpr int hangUpCheckMs = 250;

QString hungUpText() { return QStringLiteral("the device hung up"); }

} // namespace

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

std::unique_ptr<SerialLine> makeSystemLine(PortDevices devices) {
  return std::make_unique<QSerialLine>(std::move(devices));
}

QSerialLine::QSerialLine(PortDevices devices) : m_devices(std::move(devices)) {
  QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                   [this](QSerialPort::SerialPortError error) { onPortError(error); });
  m_hangUpCheck.setInterval(hangUpCheckMs);
  m_hangUpCheck.callOnTimeout([this] {
    if (m_inCall == 0 && m_port.isOpen() && hungUp(m_port.handle()))
      closeOnFailure(hungUpText());
  });
}

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
  if (const PortError claimed = m_lock.claim(device, m_errorText); claimed != PortError::None)
    return claimed;
  m_port.setPortName(device);
  m_port.setBaudRate(QSerialPort::Baud19200);
  m_port.setDataBits(QSerialPort::Data8);
  m_port.setParity(QSerialPort::NoParity);
  m_port.setStopBits(QSerialPort::OneStop);
  m_port.setFlowControl(QSerialPort::NoFlowControl);
  m_port.setReadBufferSize(1024);
  if (!m_port.open(QIODevice::ReadWrite)) {
    m_lock.release();
    const QSerialPort::SerialPortError error = m_port.error();
    m_errorText = m_port.errorString();
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device))
      return PortError::InvalidPort;
    if (error == QSerialPort::PermissionError) {
      if (PortLock::accessDenied(device, m_errorText))
        return PortError::Other;
      return PortError::PortInUse;
    }
    return PortError::Other;
  }
  m_lock.holdExclusively();
  ++m_opened;
  // Bytes that arrived before the port was opened belong to nobody.
  m_port.clear();
  m_hangUpCheck.start();
  return PortError::None;
}

void QSerialLine::close() {
  m_hangUpCheck.stop();
  if (m_port.isOpen())
    m_port.close();
  m_lock.release();
}

void QSerialLine::onPortError(QSerialPort::SerialPortError error) {
  if (m_inCall > 0 || !m_port.isOpen())
    return;
  if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
    return;
  // Not closed here: this runs inside the port's own read notification. Queued to the next turn
  // of the event loop, and only for the port that was open when the error came.
  const quint64 opened = m_opened;
  QMetaObject::invokeMethod(
      &m_port,
      [this, opened] {
        if (opened == m_opened && m_port.isOpen())
          closeOnFailure();
      },
      Qt::QueuedConnection);
}

bool QSerialLine::portOpen() { return m_port.isOpen(); }

void QSerialLine::closeOnFailure(const QString &reason) {
  m_errorText = reason.isEmpty() ? m_port.errorString() : reason;
  close();
}

void QSerialLine::output(const QByteArray &bytes) {
  if (!m_port.isOpen())
    return;
  const InCall inCall(m_inCall);
  m_port.clearError();
  if (m_port.write(bytes) != bytes.size() || !m_port.waitForBytesWritten(100)) {
    const QSerialPort::SerialPortError error = m_port.error();
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
      closeOnFailure();
    else if (hungUp(m_port.handle()))
      closeOnFailure(hungUpText());
  }
}

int QSerialLine::inBufferCount() {
  if (!m_port.isOpen())
    return 0;
  const InCall inCall(m_inCall);
  m_port.clearError();
  // Without an event loop the bytes stay in the kernel until something reads them.
  m_port.waitForReadyRead(0);
  const QSerialPort::SerialPortError error = m_port.error();
  if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
    closeOnFailure();
    return 0;
  }
  if (hungUp(m_port.handle())) {
    closeOnFailure(hungUpText());
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
