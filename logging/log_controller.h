#pragma once

#include "logging/frmloggingph.h"
#include "logging/log_writer.h"
#include "state/acquisition_state.h"
#include "state/operator_messages.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QTimer;
class QWidget;

namespace logging {

// Logging as the main window sees it: the "Setup" and "Stop Logging" menu items, the log timer's
// ticks, and what the status bar and menus show. The main window keeps the widgets and follows
// the signals; the controller owns the log set-up dialog and the log file.
//
// The controller connects tmrLogger's timeout to writeTick() itself and starts and stops the
// timer. Interval 0 means "never ticks", but a running Qt timer with interval 0 fires
// continuously, so a timer handed over at interval 0 is stopped.
//
// Intervals of a whole second or more keep a phase on the wall clock: tmrLogger is restarted so
// that its ticks fall kLogPhaseMs after the start of a second, and restarted again whenever it
// has drifted off that phase. A tick held up by the read cycle (a few hundred milliseconds at
// most) then still stamps its record with the second it was due in, so successive records are
// exactly one interval apart. The first record comes one interval after OK, rounded up to the
// next phase point (less than a second later). Shorter intervals tick freely; ticks that fall due
// while the window is busy merge.
//
// A log file that cannot be opened or written ends logging: the timer stops, the file is closed
// with every earlier line kept, the not-logging status and menus are signalled, the dialog is
// hidden with its choices, and then the operator is told which file failed and why.
class LogController : public QObject {
  Q_OBJECT
public:
  using LitersText = std::function<QString()>;
  using Now = std::function<QDateTime()>;

  // `litersText` returns what the Total Liters display shows; `iconsFolder` holds
  // "greenlight.bmp" and "redlight.bmp"; `dialogParent` parents the dialog and the controller.
  LogController(const AcquisitionState &state, LitersText litersText, QTimer *tmrLogger,
                tiltdgh::OperatorMessages &messages, const QString &iconsFolder,
                QWidget *dialogParent);
  ~LogController() override;

  // For tests and other regional settings: the clock, the locale of the texts, the chooser.
  void setClock(Now now) { m_now = std::move(now); }
  void setLocale(const QLocale &locale) { m_locale = locale; }
  void setFileChooser(LogFileChooser chooser);

  bool isLogging() const { return m_logging; }
  bool isFileOpen() const { return m_writer.isOpen(); }
  // The file being written, which with a new file each day is that day's one; empty when none.
  QString currentFile() const { return m_writer.isOpen() ? m_writer.fileName() : QString(); }
  // The dialog, or null before the first "Setup" and after its close button discarded it.
  frmloggingph *dialog() const { return m_dialog; }

  QString greenLightPath() const;
  QString redLightPath() const;

  // Emits the current status-bar and menu signals; the main window calls it once after
  // connecting them to show the not-logging state at start.
  void announceState();

public slots:
  // The "Setup" menu item: creates the dialog if needed and shows it without blocking.
  void setup();
  // The "Stop Logging" menu item.
  void stopLogging();
  // One tmrLogger tick: one record, or nothing when no file is open ("No Save").
  void writeTick();
  // OK of the dialog, after its own checks.
  void startLogging(const logging::LogChoice &choice);
  // The phase point at which tmrLogger is restarted; its own precise single-shot timer calls it.
  void phaseDue();

public:
  static constexpr int kLogPhaseMs = 100;
  // Wall time (milliseconds since the epoch) of the pending phase restart, or -1 when none is
  // pending. For tests that drive the timers on a fake clock.
  qint64 phaseDueAtMs() const { return m_phaseDueAt; }

signals:
  void logFileTextChanged(const QString &text);                        // panel 1
  void statusChanged(const QString &text, const QString &picturePath); // panel 4
  void setupEnabledChanged(bool enabled);                              // "Setup"
  void stopEnabledChanged(bool enabled);                               // "Stop Logging"
  // Logging began with `choice` (its file open and its header written, when it writes one), or
  // ended, whatever ended it.
  void loggingStarted(const logging::LogChoice &choice);
  void loggingStopped();
  // A new day's file took over (a new file each day): the records go on in `path`.
  void logFileRolled(const QString &path);
  // A record went into `file`, stamped `time`.
  void recordWritten(const QString &file, const QDateTime &time);

private:
  // Stops the timer, closes the file, hides the dialog and signals the not-logging state;
  // false if the file did not close cleanly.
  bool endLogging();
  void abandonLogging(const QString &message);
  void armPhase(qint64 atMs, bool writesRecord);
  bool keepsPhase() const;
  // With a new file each day: at the first record of a new local date, that date's file.
  bool rollToToday();
  qint64 nowMs() const { return m_now().toMSecsSinceEpoch(); }
  void setSetupEnabled(bool enabled);
  void setStopEnabled(bool enabled);

  const AcquisitionState &m_state;
  LitersText m_litersText;
  QTimer *m_timer;
  tiltdgh::OperatorMessages &m_messages;
  QString m_iconsFolder;
  QWidget *m_dialogParent;
  Now m_now;
  QLocale m_locale;
  LogFileChooser m_chooser;

  LogWriter m_writer;
  QPointer<frmloggingph> m_dialog;
  QTimer *m_phaseTimer;
  qint64 m_phaseDueAt = -1;
  bool m_phaseWritesRecord = false;
  qint64 m_lastRecordSecond = -1; // seconds since the epoch of the last record's stamp
  bool m_logging = false;
  bool m_setupEnabled = true;
  bool m_stopEnabled = false;
  QString m_logFileText;
  LogChoice m_choice;     // the choice logging runs on
  QDate m_fileDate;       // with a new file each day, the date of the file being written

  QString m_logFileName; // the file last chosen with "Select File", kept for the whole run
};

} // namespace logging
