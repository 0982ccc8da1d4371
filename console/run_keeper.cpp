#include "console/run_keeper.h"

#include "acquisition/session.h"
#include "instrument/serial_line.h"
#include "logging/frmloggingph.h"
#include "logging/log_controller.h"
#include "logging/log_reader.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace console {
namespace {

QString loginName() {
  const QString user = qEnvironmentVariable("USER");
  return user.isEmpty() ? qEnvironmentVariable("LOGNAME") : user;
}

// Keeps only the time of the last record read: a log of any length costs no memory.
class LastRecord : public logging::LogSink {
public:
  void run(const logging::LogRun &) override {}
  bool record(const logging::LogRecord &record) override {
    wallSeconds = record.wallSeconds;
    return true;
  }
  std::optional<qint64> wallSeconds;
};

// "the last record 2026-12-09T03:12:45" of the log file, or why there is none.
QString lastRecordOf(const QString &path) {
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
    return QStringLiteral("no log record before it");
  LastRecord last;
  logging::readLog(file, last);
  return last.wallSeconds ? QStringLiteral("the last record %1 (local time)")
                                .arg(logging::wallIsoText(*last.wallSeconds))
                          : QStringLiteral("no log record before it");
}

} // namespace

RunKeeper::RunKeeper(RunOptions options, RunControls controls, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_c(controls), m_run(m_options.record),
      m_events(m_options.eventsPath, [this](const QString &message) { note(message); }) {
  if (m_options.user.isEmpty())
    m_options.user = loginName();
  m_run.ended = false;
  if (m_options.unattended) {
    m_retry.emplace(runs::ChannelRetry::defaultRetryMs, this);
    connect(&*m_retry, &runs::ChannelRetry::switchOnRequested, this,
            [this](state::Channel channel) {
              m_c.switches[static_cast<int>(channel)]->setChecked(true);
            });
    connect(&*m_retry, &runs::ChannelRetry::channelBack, this, [this](state::Channel channel) {
      m_episodeMessages.clear();
      m_failedOff[static_cast<int>(channel)] = false;
      journal(runs::event::channelBack, QString::fromLatin1(state::info(channel).key));
    });
  }
  connect(&m_clock, &runs::ClockWatch::clockJumped, this, [this](qint64 signedMs) {
    journal(runs::event::clockJump, QStringLiteral("%1%2 s")
                                        .arg(signedMs > 0 ? QStringLiteral("+") : QString())
                                        .arg(double(signedMs) / 1000, 0, 'f', 3));
  });
  connect(&m_portWatch, &runs::PortWatch::deviceBack, this, &RunKeeper::portBack);
  follow();
}

void RunKeeper::followChannels() {
  for (const state::ChannelInfo &channel : state::channels) {
    QAbstractButton *button = m_c.switches[static_cast<int>(channel.channel)];
    connect(button, &QAbstractButton::toggled, this, [this, id = channel.channel](bool on) {
      bool &kept = id == state::Channel::Ph ? m_run.ph
                   : id == state::Channel::Flow ? m_run.flow
                                                : m_run.therm;
      kept = on;
      save();
      // Unattended, the channel is back when it answers again, not at each retry's switch-on.
      bool &failed = m_failedOff[static_cast<int>(id)];
      if (on && failed && !m_retry) {
        failed = false;
        journal(runs::event::channelOn, QString::fromLatin1(state::info(id).key));
      }
    });
  }
  connect(m_c.session, &acquisition::Session::channelFailed, this, [this](state::Channel channel) {
    bool &failed = m_failedOff[static_cast<int>(channel)];
    if (!failed)
      journal(runs::event::channelOff, QString::fromLatin1(state::info(channel).key));
    failed = true;
  });
  if (m_retry) {
    // A failure's switch-off comes after its channelFailed; the operator's own does not.
    connect(m_c.session, &acquisition::Session::channelFailed, this,
            [this](state::Channel channel) { m_retry->channelFailed(channel, QString()); });
    connect(m_c.session, &acquisition::Session::readingStored, this,
            [this](const state::Reading &reading) {
              m_retry->readingArrived(state::info(reading.quantity).channel);
            });
  }
}

void RunKeeper::follow() {
  followChannels();
  connect(m_c.applyRate, &QPushButton::clicked, this, [this] {
    m_run.updateRate = qMax(0, m_c.updateRate->currentIndex());
    save();
  });
  connect(m_c.plot, &QAbstractButton::toggled, this, [this](bool on) {
    m_run.plot = on;
    save();
  });
  connect(m_c.plotPh1, &QAbstractButton::toggled, this, [this](bool on) {
    m_run.plotPh1 = on;
    save();
  });
  connect(m_c.plotPh2, &QAbstractButton::toggled, this, [this](bool on) {
    m_run.plotPh2 = on;
    save();
  });
  connect(m_c.logging, &logging::LogController::loggingStarted, this,
          [this](const logging::LogChoice &choice) {
            m_run.logging = choice.writeToFile;
            m_run.logFile = choice.writeToFile ? choice.fileName : QString();
            m_run.logIntervalMs = qMax(1, choice.intervalMs);
            m_run.logAppend = choice.append;
            m_run.logDaily = choice.daily;
            m_events.setLogFile(m_c.logging->currentFile());
            save();
          });
  // Each day's file has its events beside it.
  connect(m_c.logging, &logging::LogController::logFileRolled, this,
          [this](const QString &path) { m_events.setLogFile(path); });
  connect(m_c.logging, &logging::LogController::loggingStopped, this, [this] {
    m_run.logging = false;
    m_events.setLogFile(QString());
    save();
  });
}

void RunKeeper::windowShown() {
  m_run.port = m_c.line->commPort();
  m_run.plotPh1 = m_c.plotPh1->isChecked();
  m_run.plotPh2 = m_c.plotPh2->isChecked();
  m_portWasOpen = m_c.line->portOpen();
  const runs::RunRecord last = m_options.record;
  // The resumed log's own journal says it too: the hole is written down beside the records (with
  // a new file each day, beside today's; the last record may be in yesterday's).
  const QDate today = QDate::currentDate();
  const QString todays = last.logDaily ? logging::dailyFileName(last.logFile, today) : last.logFile;
  const QString lastWritten = last.logDaily && !QFile::exists(todays)
                                  ? logging::dailyFileName(last.logFile, today.addDays(-1))
                                  : todays;
  if (m_options.resume && last.logging)
    m_events.setLogFile(todays);
  if (m_options.resume)
    journal(runs::event::resumed,
            QStringLiteral("after an unclean end; %1").arg(lastRecordOf(lastWritten)));
  else
    journal(runs::event::started);
  if (runs::systemClockUnsynchronised()) {
    journal(runs::event::clockUnsynchronised);
    note(QStringLiteral("The system clock is not synchronised: record times may be off."), false);
  }
  save();
  if (m_options.resume)
    resume(last);
  m_clock.start();
  auto *portTimer = new QTimer(this);
  connect(portTimer, &QTimer::timeout, this, &RunKeeper::checkPort);
  portTimer->start(1000);
  m_notifier.ready();
}

void RunKeeper::resume(const runs::RunRecord &run) {
  // As the operator would set it up: the rate, the plot's probes and switch, the channels in
  // their order, then logging into the same file, appended.
  if (run.updateRate >= 0 && run.updateRate < m_c.updateRate->count()) {
    m_c.updateRate->setCurrentIndex(run.updateRate);
    m_c.applyRate->click();
  }
  m_c.plotPh1->setChecked(run.plotPh1);
  m_c.plotPh2->setChecked(run.plotPh2);
  m_c.plot->setChecked(run.plot);
  const bool on[] = {run.ph, run.flow, run.therm};
  for (int k = 0; k < state::channelCount; ++k)
    if (on[k])
      m_c.switches[k]->setChecked(true);
  if (run.logging && !run.logFile.isEmpty()) {
    logging::LogChoice choice;
    choice.writeToFile = true;
    choice.append = true; // a resume never overwrites a record
    choice.fileName = run.logFile;
    choice.intervalMs = run.logIntervalMs;
    choice.daily = run.logDaily;
    m_c.logging->startLogging(choice);
  }
}

void RunKeeper::exiting() {
  m_run.ended = true;
  journal(runs::event::ended);
  save();
  stopping();
}

void RunKeeper::stopping() {
  if (m_stopping)
    return;
  m_stopping = true;
  m_notifier.stopping();
}

void RunKeeper::journalMessage(const QString &text, const QString &title) {
  const QString detail = title.isEmpty() ? text : title + QStringLiteral(": ") + text;
  // Unattended, a module that stays dead says the same at every retry: one line an episode.
  if (m_retry && m_episodeMessages.contains(detail))
    return;
  if (m_retry)
    m_episodeMessages.insert(detail);
  journal(runs::event::message, detail);
}

void RunKeeper::journalAnswered() { journal(runs::event::messageAnswered); }

void RunKeeper::journalRefusedCommand(const QString &topic, const QString &reason) {
  journal("command_refused", topic + QStringLiteral(": ") + reason);
}

void RunKeeper::checkPort() {
  const bool open = m_c.line->portOpen();
  if (m_portWasOpen && !open && !m_portWatch.isWatching()) {
    const QString device = m_c.line->deviceName();
    journal(runs::event::portLost, device);
    for (int k = 0; k < state::channelCount; ++k)
      m_onWhenLost[k] = m_c.switches[k]->isChecked();
    if (!device.isEmpty())
      m_portWatch.watch(device);
  }
  m_portWasOpen = open;
}

void RunKeeper::portBack() {
  if (m_c.line->portOpen() || m_c.line->open() != tiltdgh::PortError::None) {
    if (!m_c.line->portOpen())
      m_portWatch.watch(m_c.line->deviceName()); // there, but not ready yet: look again
    m_portWasOpen = m_c.line->portOpen();
    return;
  }
  m_portWasOpen = true;
  m_episodeMessages.clear();
  journal(runs::event::portBack, m_c.line->deviceName());
  if (!m_options.unattended)
    return;
  for (int k = 0; k < state::channelCount; ++k)
    if (m_onWhenLost[k])
      m_c.switches[k]->setChecked(true);
}

void RunKeeper::journal(const char *event, const QString &detail) {
  const runs::EventEntry entry{QDateTime::currentMSecsSinceEpoch(), QString::fromLatin1(event),
                               detail, m_options.user};
  m_events.append(entry);
  emit eventJournaled(entry);
}

void RunKeeper::save() {
  if (m_options.runFilePath.isEmpty()) // a run file that was refused is left as it is
    return;
  const QString error = runs::saveRunFile(m_options.runFilePath, m_run);
  if (!error.isEmpty() && error != m_lastSaveError)
    note(error);
  m_lastSaveError = error;
}

void RunKeeper::note(const QString &text, bool toStandardError) {
  if (m_notes.contains(text))
    return;
  if (toStandardError)
    std::fprintf(stderr, "brellis: %s\n", qPrintable(text));
  m_notes << text;
  emit notesChanged(notes());
}

} // namespace console
