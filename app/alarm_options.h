#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QTime>

#include <optional>

class QCommandLineParser;

// What the alarm command is to do: --alarm-command and the runs beside the raises and returns.
struct AlarmCommandChoice {
  QString command;                // empty runs nothing
  int repeatMinutes = 0;          // --alarm-repeat: reminders every so many minutes; 0 none
  std::optional<QTime> heartbeat; // --alarm-heartbeat: the daily run's local time
};

struct AlarmOptions {
  QCommandLineOption command{
      QStringLiteral("alarm-command"),
      QStringLiteral("Runs CMD through /bin/sh at every alarm raised and returned, with the alarm "
                     "in BRELLIS_ALARM_* environment variables."),
      QStringLiteral("CMD")};
  QCommandLineOption repeat{
      QStringLiteral("alarm-repeat"),
      QStringLiteral("With --alarm-command: runs it again, with BRELLIS_ALARM_EVENT=reminder, "
                     "every MINUTES (1 to 1440) while an alarm stays active and unacknowledged. "
                     "Reminders count in the command's limit of runs an hour."),
      QStringLiteral("MINUTES")};
  QCommandLineOption heartbeat{
      QStringLiteral("alarm-heartbeat"),
      QStringLiteral("With --alarm-command: runs it once a day at the local time HH:MM, with "
                     "BRELLIS_ALARM_EVENT=heartbeat and BRELLIS_ACTIVE_ALARMS, "
                     "BRELLIS_CHANNELS_ON, BRELLIS_LOG_FILE and BRELLIS_LAST_RECORD."),
      QStringLiteral("HH:MM")};

  void addTo(QCommandLineParser &parser) const;
  // The options given, into `choice`; what is wrong with them, or empty when nothing is.
  QString read(const QCommandLineParser &parser, AlarmCommandChoice &choice) const;
};
