// The window's pictures and the serial port: the "Commport Setup" prompt that start-up and the
// "Comm Port" command share.
#include "console/frm_main.h"

#include "common/number_text.h"
#include "console/icons.h"
#include "instrument/system_line.h"

#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QPixmap>

void frmMain::setWindowIconFromFiles() { setWindowIcon(console::applicationIcon(iconsDir())); }

QString frmMain::iconsDir() const { return console::iconsFolder(m_services.iconsDir); }

QString frmMain::iconPath(const QString &fileName) const {
  return QDir(iconsDir()).filePath(fileName);
}

bool frmMain::loadPicture(QLabel *target, const QString &fileName) {
  const QString path = iconPath(fileName);
  QPixmap picture;
  if (!picture.load(path)) {
    showMessage(
        QStringLiteral("Cannot load the picture \"%1\".").arg(QDir::toNativeSeparators(path)));
    return false;
  }
  target->setPixmap(picture);
  return true;
}

std::optional<QString> frmMain::askText(const QString &prompt, const QString &title) {
  if (m_services.askText)
    return m_services.askText(prompt, title);
  bool ok = false;
  const QString text =
      QInputDialog::getText(this, title, prompt, QLineEdit::Normal, QString(), &ok);
  if (!ok)
    return std::nullopt;
  return text;
}

bool frmMain::openPortAtStart() {
  // Port 1 that cannot be opened is explained, and another number may be chosen; Cancel ends.
  while (true) {
    if (m_line.open() == tiltdgh::PortError::None)
      return true;
    QStringList devices = tiltdgh::availableSerialDevices();
    const QString seen =
        devices.isEmpty() ? QStringLiteral("none") : devices.join(QStringLiteral("\n"));
    showMessage(QStringLiteral("Serial port %1 (%2) cannot be opened: %3.\n\n"
                               "Serial devices on this system:\n%4\n\n"
                               "Choose another port number, or Cancel to end the program.")
                    .arg(m_line.commPort())
                    .arg(m_line.deviceName(), m_line.lastErrorText(), seen));
    if (askCommPort() == PortAnswer::Cancelled)
      return false;
  }
}

frmMain::PortAnswer frmMain::askCommPort() {
  const std::optional<QString> text =
      askText(QStringLiteral("Enter Commport Number"), QStringLiteral("Commport Setup"));
  if (!text)
    return PortAnswer::Cancelled;
  const std::optional<double> number = common::parseTypedNumber(*text);
  if (!number)
    return PortAnswer::Unusable;
  // A 16-bit port number, an exact half going to the even one (2.5 gives 2, 3.5 gives 4).
  const double port = common::roundHalfEven(*number, 0);
  if (port < -32768 || port > 32767)
    return PortAnswer::Unusable;
  m_line.setCommPort(static_cast<int>(port));
  return PortAnswer::Chosen;
}

void frmMain::commPortCommand() {
  // The port is closed first, whatever the operator then enters; a failure leaves it closed.
  if (m_line.portOpen())
    m_line.close();
  if (askCommPort() != PortAnswer::Chosen)
    return;
  switch (m_line.open()) {
  case tiltdgh::PortError::InvalidPort:
    showMessage(QStringLiteral("Invalid ComPort #, please select another one."));
    break;
  case tiltdgh::PortError::PortInUse:
    showMessage(QStringLiteral("Port is already open, please select another one."));
    break;
  case tiltdgh::PortError::None:
  case tiltdgh::PortError::Other:
    break;
  }
}
