#include "app/alarm_options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

void AlarmOptions::addTo(QCommandLineParser &parser) const {
  parser.addOptions({command, repeat, heartbeat});
}

QString AlarmOptions::read(const QCommandLineParser &parser, AlarmCommandChoice &choice) const {
  choice.command = parser.value(command);
  for (const QCommandLineOption *option : {&repeat, &heartbeat})
    if (parser.isSet(*option) && choice.command.isEmpty())
      return QStringLiteral("--%1 runs the alarm command; give --alarm-command CMD too")
          .arg(option->names().constFirst());
  if (parser.isSet(repeat)) {
    const QString text = parser.value(repeat);
    bool ok = false;
    choice.repeatMinutes = text.trimmed().toInt(&ok);
    if (!ok || choice.repeatMinutes < 1 || choice.repeatMinutes > 1440)
      return QStringLiteral("--alarm-repeat expects a whole number of minutes from 1 to 1440, "
                            "not \"%1\"")
          .arg(text);
  }
  if (parser.isSet(heartbeat)) {
    const QString text = parser.value(heartbeat);
    static const QRegularExpression clock(QStringLiteral("^([01]?[0-9]|2[0-3]):([0-5][0-9])$"));
    const QRegularExpressionMatch match = clock.match(text);
    if (!match.hasMatch())
      return QStringLiteral("--alarm-heartbeat expects a local time HH:MM from 00:00 to 23:59, "
                            "not \"%1\"")
          .arg(text);
    choice.heartbeat = QTime(match.captured(1).toInt(), match.captured(2).toInt());
  }
  return QString();
}
