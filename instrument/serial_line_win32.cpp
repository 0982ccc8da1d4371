// The real serial line on Windows, over the Win32 communications API: the sibling of the
// QSerialPort line, which Windows builds do without.
#include "instrument/system_line.h"

#include <QtGlobal>

#include <algorithm>

#include <windows.h>

namespace tiltdgh {
namespace {

QString systemText(DWORD error) {
  wchar_t *text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  QString result = length ? QString::fromWCharArray(text, int(length)).trimmed()
                          : QStringLiteral("system error %1").arg(error);
  if (text)
    LocalFree(text);
  // The system's sentences end with a full stop; the messages that quote them add their own.
  while (result.endsWith(QLatin1Char('.')))
    result.chop(1);
  return result;
}

// How CreateFileW's failure on a port reads to the operator.
PortError openFailure(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_NAME:
  case ERROR_BAD_UNIT:
  case ERROR_DEV_NOT_EXIST:
    return PortError::InvalidPort;
  case ERROR_ACCESS_DENIED: // a serial port is opened by one program at a time
  case ERROR_SHARING_VIOLATION:
  case ERROR_BUSY:
    return PortError::PortInUse;
  default:
    return PortError::Other;
  }
}

// 19200 baud, 8 data bits, no parity, 1 stop bit, no handshaking of any kind; DTR and RTS are
// left alone (a pseudo-terminal behind Wine refuses them).
bool setLineSettings(HANDLE port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // What the driver cannot tell (Wine asks a pseudo-terminal for modem lines it lacks) starts
  // from nothing: every field that matters is set below, and SetCommState is the judge.
  if (!GetCommState(port, &dcb)) {
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
  }
  dcb.BaudRate = CBR_19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port, &dcb))
    return false;
  // A read returns at once with what is waiting, never blocks; a write may take 100 ms at most.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 100;
  if (!SetCommTimeouts(port, &timeouts))
    return false;
  // The receive buffer of 1024 characters, the transmit buffer of 512; drivers may round them.
  SetupComm(port, 1024, 512);
  return true;
}

// The line on a COM port. The port is held exclusively while open: CreateFileW with no sharing,
// so another program's open fails with "access denied", which is PortInUse; a port that does
// not exist is InvalidPort. A port that fails while open (a USB adapter pulled) is closed by the
// call that meets the failure, silently, so that the exchange sees "Port Not open".
class Win32SerialLine final : public SerialLine {
public:
  explicit Win32SerialLine(PortDevices devices) : m_devices(std::move(devices)) {}
  ~Win32SerialLine() override { close(); }

  int commPort() const override { return m_commPort; }
  void setCommPort(int port) override { m_commPort = port; }
  PortError open() override;
  void close() override;
  bool portOpen() override { return m_port != INVALID_HANDLE_VALUE; }
  void output(const QByteArray &bytes) override;
  void setInputLen(int count) override { m_inputLen = count; }
  int inBufferCount() override;
  QByteArray input() override;
  QString deviceName() const override { return m_devices.deviceFor(m_commPort); }
  QString lastErrorText() const override { return m_errorText; }

private:
  void closeOnFailure(DWORD error) {
    m_errorText = systemText(error);
    close();
  }
  // Moves what the driver holds into m_received; false when the port failed.
  bool pull();

  PortDevices m_devices;
  HANDLE m_port = INVALID_HANDLE_VALUE;
  // A named mutex per device, held while the port is open: Windows' own drivers refuse a second
  // open of a COM port, but not every serial driver does (Wine's does not), so Brellis refuses
  // it itself too.
  HANDLE m_claim = nullptr;
  int m_commPort = 1;
  int m_inputLen = 0;
  QByteArray m_received;
  QString m_errorText;
};

PortError Win32SerialLine::open() {
  m_errorText.clear();
  if (portOpen()) {
    m_errorText = QStringLiteral("the port is already open");
    return PortError::PortInUse;
  }
  if (m_commPort < 1) {
    m_errorText = QStringLiteral("%1 is not a port number").arg(m_commPort);
    return PortError::InvalidPort;
  }
  // COM10 and above exist only in the device namespace; the prefix serves COM1 to COM9 too.
  QString device = deviceName();
  if (!device.startsWith(QLatin1String("\\\\")))
    device.prepend(QLatin1String("\\\\.\\"));
  // Kernel object names take no backslash after the namespace's.
  const QString claimName =
      QStringLiteral("Global\\brellis-serial-") + device.toUpper().replace(QLatin1Char('\\'), QLatin1Char('_'));
  m_claim = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t *>(claimName.utf16()));
  if (m_claim && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(m_claim);
    m_claim = nullptr;
    m_errorText = QStringLiteral("another Brellis holds the port");
    return PortError::PortInUse;
  }
  const HANDLE port =
      CreateFileW(reinterpret_cast<const wchar_t *>(device.utf16()), GENERIC_READ | GENERIC_WRITE,
                  0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    m_errorText = systemText(error);
    close();
    return openFailure(error);
  }
  if (!setLineSettings(port)) {
    const DWORD error = GetLastError();
    CloseHandle(port);
    close();
    m_errorText = QStringLiteral("not a serial port (%1)").arg(systemText(error));
    return PortError::InvalidPort;
  }
  // Bytes that arrived before the port was opened belong to nobody.
  PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  m_port = port;
  m_received.clear();
  return PortError::None;
}

void Win32SerialLine::close() {
  if (m_port != INVALID_HANDLE_VALUE)
    CloseHandle(m_port);
  m_port = INVALID_HANDLE_VALUE;
  if (m_claim)
    CloseHandle(m_claim);
  m_claim = nullptr;
  m_received.clear();
}

void Win32SerialLine::output(const QByteArray &bytes) {
  if (!portOpen())
    return;
  DWORD written = 0;
  if (!WriteFile(m_port, bytes.constData(), DWORD(bytes.size()), &written, nullptr)) {
    closeOnFailure(GetLastError());
    return;
  }
  // A write that timed out sends less; the exchange then sees no reply, as on a dead line.
}

bool Win32SerialLine::pull() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(m_port, &errors, &status)) {
    closeOnFailure(GetLastError());
    return false;
  }
  if (status.cbInQue == 0)
    return true;
  const qsizetype had = m_received.size();
  m_received.resize(had + qsizetype(status.cbInQue));
  DWORD got = 0;
  if (!ReadFile(m_port, m_received.data() + had, status.cbInQue, &got, nullptr)) {
    m_received.resize(had);
    closeOnFailure(GetLastError());
    return false;
  }
  m_received.resize(had + qsizetype(got));
  // The receive buffer holds 1024 characters; older ones are lost as the driver would lose them.
  if (m_received.size() > 1024)
    m_received.remove(0, m_received.size() - 1024);
  return true;
}

int Win32SerialLine::inBufferCount() {
  if (!portOpen() || !pull())
    return 0;
  return int(m_received.size());
}

QByteArray Win32SerialLine::input() {
  if (!portOpen())
    return QByteArray();
  if (m_received.isEmpty() && !pull())
    return QByteArray();
  const qsizetype count =
      m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, m_received.size()) : m_received.size();
  QByteArray taken = m_received.left(count);
  m_received.remove(0, count);
  return taken;
}

} // namespace

std::unique_ptr<SerialLine> makeSystemLine(PortDevices devices) {
  return std::make_unique<Win32SerialLine>(std::move(devices));
}

// The COM ports the system knows, from the registry's list of serial devices.
QStringList availableSerialDevices() {
  QStringList devices;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return devices;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    wchar_t value[256];
    DWORD nameLength = 256;
    DWORD valueBytes = sizeof value;
    DWORD type = 0;
    const LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE *>(value), &valueBytes);
    if (result != ERROR_SUCCESS)
      break;
    if (type == REG_SZ && valueBytes >= sizeof(wchar_t))
      devices << QStringLiteral("%1 (%2)").arg(
          QString::fromWCharArray(value, int(valueBytes / sizeof(wchar_t))).remove(QChar(0)),
          QString::fromWCharArray(name, int(nameLength)));
  }
  RegCloseKey(key);
  devices.sort();
  return devices;
}

} // namespace tiltdgh
