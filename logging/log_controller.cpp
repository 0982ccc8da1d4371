#include "logging/log_controller.h"

#include <QDir>
#include <QTimer>
#include <QWidget>

namespace logging {
namespace {

constexpr qint64 kSecondMs = 1000;
// A tick this much before its phase point, or this much after it, has drifted off the phase
// (the wall clock and the timers' monotonic clock part slowly; a read tick holds a log tick up
// by a few hundred milliseconds, which is no drift but re-aligning then is harmless).
constexpr qint64 kEarlyLimitMs = 50;
constexpr qint64 kLateLimitMs = 300;

qint64 secondStart(qint64 ms) { return ms - ((ms % kSecondMs) + kSecondMs) % kSecondMs; }

} // namespace

LogController::LogController(const AcquisitionState &state, LitersText litersText,
                             QTimer *tmrLogger, tiltdgh::OperatorMessages &messages,
                             const QString &iconsFolder, QWidget *dialogParent)
    : QObject(dialogParent), m_state(state), m_litersText(std::move(litersText)),
      m_timer(tmrLogger), m_messages(messages), m_iconsFolder(iconsFolder),
      m_dialogParent(dialogParent), m_now([] { return QDateTime::currentDateTime(); }),
      m_chooser(chooseLogFile), m_writer(state), m_phaseTimer(new QTimer(this)) {
  m_timer->setTimerType(Qt::PreciseTimer);
  if (m_timer->interval() == 0)
    m_timer->stop();
  connect(m_timer, &QTimer::timeout, this, &LogController::writeTick);
  m_phaseTimer->setSingleShot(true);
  m_phaseTimer->setTimerType(Qt::PreciseTimer);
  connect(m_phaseTimer, &QTimer::timeout, this, &LogController::phaseDue);
}

bool LogController::keepsPhase() const {
  const int interval = m_timer->interval();
  return m_logging && interval >= kSecondMs && interval % kSecondMs == 0;
}

void LogController::armPhase(qint64 atMs, bool writesRecord) {
  m_phaseDueAt = atMs;
  m_phaseWritesRecord = writesRecord;
  m_phaseTimer->start(static_cast<int>(qMax<qint64>(0, atMs - nowMs())));
}

void LogController::phaseDue() {
  if (m_phaseDueAt < 0 || !keepsPhase())
    return;
  m_phaseDueAt = -1;
  m_phaseTimer->stop();
  // Restarting cancels the tick the timer had pending for about this moment; when this phase
  // point is itself a record's due time, that record is written here unless the tick beat us.
  m_timer->start();
  if (m_phaseWritesRecord && secondStart(nowMs()) / kSecondMs != m_lastRecordSecond)
    writeTick();
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
    // logFileName lives as long as the program, not as long as one dialog.
    m_dialog->setLogFileName(m_logFileName);
    connect(m_dialog, &frmloggingph::logFileNameChanged, this,
            [this](const QString &name) { m_logFileName = name; });
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
    m_fileDate = m_now().date();
    const QString path = choice.daily ? dailyFileName(choice.fileName, m_fileDate) : choice.fileName;
    if (!m_writer.openLogFile(path, choice.append)) {
      abandonLogging(QStringLiteral("The log file \"%1\" cannot be opened: %2")
                         .arg(QDir::toNativeSeparators(path), m_writer.errorText()));
      return;
    }
    if (!m_writer.writeLogHeader(m_fileDate, m_locale)) {
      abandonLogging(QStringLiteral("The log file \"%1\" cannot be written: %2")
                         .arg(QDir::toNativeSeparators(path), m_writer.errorText()));
      return;
    }
  }
  m_choice = choice;
  m_timer->setInterval(choice.intervalMs);
  if (m_dialog)
    m_dialog->hide();
  m_timer->start();
  m_logging = true;
  m_lastRecordSecond = -1;
  if (keepsPhase()) {
    // The timer runs at once; restarting it at (first due - interval), within the next second,
    // puts its first tick on the first phase point at least one interval after OK.
    const qint64 okAt = nowMs();
    const qint64 firstDue =
        secondStart(okAt + choice.intervalMs - kLogPhaseMs - 1) + kSecondMs + kLogPhaseMs;
    armPhase(firstDue - choice.intervalMs, false);
  }
  m_logFileText = choice.fileName;
  emit logFileTextChanged(m_logFileText);
  emit statusChanged(QStringLiteral("Logging"), greenLightPath());
  setSetupEnabled(false);
  emit loggingStarted(choice);
}

void LogController::writeTick() {
  if (!m_writer.isOpen())
    return;
  const qint64 now = nowMs();
  if (keepsPhase() && m_phaseDueAt < 0) {
    const qint64 intoSecond = now - secondStart(now);
    if (intoSecond < kLogPhaseMs - kEarlyLimitMs || intoSecond > kLogPhaseMs + kLateLimitMs)
      armPhase(secondStart(now) + m_timer->interval() + kLogPhaseMs, true);
  }
  m_lastRecordSecond = secondStart(now) / kSecondMs;
  if (m_choice.daily && m_now().date() != m_fileDate && !rollToToday())
    return;
  const QDateTime stamp = m_now();
  if (!m_writer.writeLogRecord(m_litersText(), stamp.time(), m_locale)) {
    abandonLogging(QStringLiteral("The log file \"%1\" cannot be written: %2. Logging has "
                                  "stopped; the records written before are kept.")
                       .arg(QDir::toNativeSeparators(m_writer.fileName()), m_writer.errorText()));
    return;
  }
  emit recordWritten(m_writer.fileName(), stamp);
}

bool LogController::rollToToday() {
  const QDate today = m_now().date();
  const QString path = dailyFileName(m_choice.fileName, today);
  // Yesterday's file is closed whole; today's is appended to, should it exist already.
  if (!m_writer.closeLogFile() || !m_writer.openLogFile(path, true) ||
      !m_writer.writeLogHeader(today, m_locale)) {
    abandonLogging(QStringLiteral("The log file \"%1\" cannot be written: %2. Logging has "
                                  "stopped; the records written before are kept.")
                       .arg(QDir::toNativeSeparators(path), m_writer.errorText()));
    return false;
  }
  m_fileDate = today;
  emit logFileRolled(path);
  return true;
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
  m_phaseTimer->stop();
  m_phaseDueAt = -1;
  const bool closed = m_writer.closeLogFile();
  // A dialog still open would let OK start logging while "Setup" is enabled again; it is hidden
  // with its choices kept, and the next "Setup" shows it as it was.
  if (m_dialog)
    m_dialog->hide();
  m_logging = false;
  emit statusChanged(QStringLiteral("Not Logging"), redLightPath());
  setSetupEnabled(true);
  setStopEnabled(false);
  emit loggingStopped();
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
