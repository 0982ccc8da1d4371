#pragma once

#include "runs/channel_retry.h"
#include "runs/clock_watch.h"
#include "runs/events_journal.h"
#include "runs/port_watch.h"
#include "runs/run_file.h"
#include "runs/service_notifier.h"
#include "state/quantities.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <optional>

class QAbstractButton;
class QComboBox;
class QLabel;
class QPushButton;
namespace acquisition {
class Session;
}
namespace logging {
class LogController;
}
namespace tiltdgh {
class SerialLine;
}

namespace console {

// How the program keeps its run: where, and what to take up again.
struct RunOptions {
  QString runFilePath;    // the run file, replaced at every change; empty keeps none
  QString eventsPath;     // the standing events journal
  runs::RunRecord record; // the start: port number and mapping, options carried over
  // Set: the last run did not end with Exit, and is taken up again once the window shows.
  bool resume = false;
  // Failures never wait for an OK: a channel a failure switched off is switched on again.
  bool unattended = false;
  QString user; // written with the events; empty: the login name
};

// The window's controls the run follows and sets, handed over by the window.
struct RunControls {
  std::array<QAbstractButton *, state::channelCount> switches{};
  QComboBox *updateRate = nullptr;
  QPushButton *applyRate = nullptr; // "Update": applies the list's position
  QAbstractButton *plot = nullptr;
  QAbstractButton *plotPh1 = nullptr;
  QAbstractButton *plotPh2 = nullptr;
  logging::LogController *logging = nullptr;
  acquisition::Session *session = nullptr;
  tiltdgh::SerialLine *line = nullptr;
};

// Keeps the run in the run file and its events in the events journals (the standing one, and
// beside the log while logging); takes a run cut short up again as the operator would; reopens
// the port's device once it is back; under --unattended switches failed channels on again; tells
// systemd it is ready, alive and stopping. For the user-interface thread.
class RunKeeper : public QObject {
  Q_OBJECT
public:
  RunKeeper(RunOptions options, RunControls controls, QObject *parent = nullptr);

  // The window is shown: journals "started" or "resumed" and, for a resume, switches the
  // channels on in their order, sets the rate and the plot and starts logging again (append).
  void windowShown();
  // Exit: the run ended as the operator wished.
  void exiting();
  // The program is ending (Exit, or SIGTERM from the session or the service manager).
  void stopping();
  // A command from the broker that was not acted on.
  void journalRefusedCommand(const QString &topic, const QString &reason);
  // A message that a box would have shown.
  void journalMessage(const QString &text, const QString &title);
  // The box of the last journaled message was closed.
  void journalAnswered();
  // The operator's note ("Logging → Add Note…"), journaled with the time and the user.
  void addNote(const QString &text) { journal(runs::event::note, text); }
  // Checks the port: a port found closed that was open is lost; its device is then looked for.
  void checkPort();
  // What the status bar's tool tip is to add: problems of the journals, the clock not trusted.
  QString notes() const { return m_notes.join(QLatin1Char('\n')); }

signals:
  void notesChanged(const QString &notes);
  // An event was journaled (and goes to the broker, where one is published to).
  void eventJournaled(const runs::EventEntry &entry);

private:
  void journal(const char *event, const QString &detail = QString());
  void save();
  void follow();
  // The switches kept, a failure's switch-off and the channel's return journaled.
  void followChannels();
  void resume(const runs::RunRecord &run);
  // Said once in the status bar's tool tip and, when asked, on standard error.
  void note(const QString &text, bool toStandardError = true);
  void portBack();

  RunOptions m_options;
  RunControls m_c;
  runs::RunRecord m_run;
  runs::EventsJournal m_events;
  runs::ClockWatch m_clock;
  runs::PortWatch m_portWatch;
  runs::ServiceNotifier m_notifier;
  std::optional<runs::ChannelRetry> m_retry;
  QStringList m_notes;
  QString m_lastSaveError;
  QSet<QString> m_episodeMessages; // journaled since the last channel or port came back
  bool m_stopping = false;
  bool m_portWasOpen = false;
  std::array<bool, state::channelCount> m_onWhenLost{};
  // A failure switched the channel off, and it has not come back since.
  std::array<bool, state::channelCount> m_failedOff{};
};

} // namespace console
