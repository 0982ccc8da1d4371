#include "logging/log_controller.h"

#include <QDir>
#include <QTimer>
#include <QWidget>

namespace logging {

LogController::LogController(const AcquisitionState &state, LitersText litersText,
                             QTimer *tmrLogger, tiltdgh::OperatorMessages &messages,
                             const QString &iconsFolder, QWidget *dialogParent)
    : QObject(dialogParent), m_state(state), m_litersText(std::move(litersText)),
      m_timer(tmrLogger), m_messages(messages), m_iconsFolder(iconsFolder),
      m_dialogParent(dialogParent), m_now([] { return QDateTime::currentDateTime(); }),
      m_chooser(chooseLogFile), m_writer(state) {
  if (m_timer->interval() == 0)
    m_timer->stop();
  connect(m_timer, &QTimer::timeout, this, &LogController::writeTick);
}

LogController::~LogController() = default;

void LogController::setFileChooser(LogFileChooser chooser) {
  m_chooser = std::move(chooser);
  if (m_dialog)
    m_dialog->setFileChooser(m_chooser);
}

QString LogController::greenLightPath() const {
  return QDir(m_iconsFolder).filePath(QStringLiteral("greenlight.bmp"));
}

QString LogController::redLightPath() const {
  return QDir(m_iconsFolder).filePath(QStringLiteral("redlight.bmp"));
}

void LogController::announceState() {
  emit logFileTextChanged(m_logFileText);
  if (m_logging)
    emit statusChanged(QStringLiteral("Logging"), greenLightPath());
  else
    emit statusChanged(QStringLiteral("Not Logging"), redLightPath());
  emit setupEnabledChanged(m_setupEnabled);
  emit stopEnabledChanged(m_stopEnabled);
}

void LogController::setup() {
  if (!m_dialog) {
    m_dialog = new frmloggingph(m_messages, m_locale, m_dialogParent);
    m_dialog->setFileChooser(m_chooser);
    connect(m_dialog, &frmloggingph::loggingRequested, this, &LogController::startLogging);
    // The close button discards the dialog; forget it now so the next "Setup" builds a new
    // one even before the deferred deletion has run.
    connect(m_dialog, &frmloggingph::discarded, this, [this] { m_dialog.clear(); });
  }
  m_dialog->show();
  m_dialog->raise();
  m_dialog->activateWindow();
  setSetupEnabled(false);
  setStopEnabled(true);
}

void LogController::startLogging(const LogChoice &choice) {
  if (choice.writeToFile) {
    if (!m_writer.openLogFile(choice.fileName, choice.append)) {
      abandonLogging(QStringLiteral("The log file \"%1\" cannot be opened: %2")
                         .arg(QDir::toNativeSeparators(choice.fileName), m_writer.errorText()));
      return;
    }
    if (!m_writer.writeLogHeader(m_now().date(), m_locale)) {
      abandonLogging(QStringLiteral("The log file \"%1\" cannot be written: %2")
                         .arg(QDir::toNativeSeparators(choice.fileName), m_writer.errorText()));
      return;
    }
  }
  m_timer->setInterval(choice.intervalMs);
  if (m_dialog)
    m_dialog->hide();
  m_timer->start();
  m_logging = true;
  m_logFileText = choice.fileName;
  emit logFileTextChanged(m_logFileText);
  emit statusChanged(QStringLiteral("Logging"), greenLightPath());
  setSetupEnabled(false);
}

void LogController::writeTick() {
  if (!m_writer.isOpen())
    return;
  if (!m_writer.writeLogRecord(m_litersText(), m_now().time(), m_locale))
    abandonLogging(QStringLiteral("The log file \"%1\" cannot be written: %2. Logging has "
                                  "stopped; the records written before are kept.")
                       .arg(QDir::toNativeSeparators(m_writer.fileName()), m_writer.errorText()));
}

void LogController::stopLogging() {
  const bool wasOpen = m_writer.isOpen();
  if (!endLogging() && wasOpen)
    m_messages.showMessage(
        QStringLiteral("The log file \"%1\" was not closed cleanly: %2")
            .arg(QDir::toNativeSeparators(m_writer.fileName()), m_writer.errorText()));
}

void LogController::abandonLogging(const QString &message) {
  endLogging();
  m_messages.showMessage(message);
}

bool LogController::endLogging() {
  // Everything is put in order before any message box runs its own event loop.
  m_timer->stop();
  const bool closed = m_writer.closeLogFile();
  // A dialog still open would let OK start logging while "Setup" is enabled again; it is hidden
  // with its choices kept, and the next "Setup" shows it as it was.
  if (m_dialog)
    m_dialog->hide();
  m_logging = false;
  emit statusChanged(QStringLiteral("Not Logging"), redLightPath());
  setSetupEnabled(true);
  setStopEnabled(false);
  return closed;
}

void LogController::setSetupEnabled(bool enabled) {
  m_setupEnabled = enabled;
  emit setupEnabledChanged(enabled);
}

void LogController::setStopEnabled(bool enabled) {
  m_stopEnabled = enabled;
  emit stopEnabledChanged(enabled);
}

} // namespace logging
