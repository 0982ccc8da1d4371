#include "publish/commands.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace publish {
namespace {

ParsedCommand refused(const QString &why) { return {std::nullopt, why}; }

std::optional<alarms::Alarm> alarmOf(QByteArrayView key) {
  for (const alarms::Alarm alarm : alarms::allAlarms)
    if (alarms::key(alarm).toLatin1() == key)
      return alarm;
  return std::nullopt;
}

// The payload's sender and, for a shelve, its minutes; false with `why` set when it is neither
// empty, a plain number (shelve only) nor a JSON object of those fields.
bool readPayload(const QByteArray &payload, bool shelve, AlarmCommand &command, QString &why) {
  const QByteArray text = payload.trimmed();
  if (text.isEmpty()) {
    why = shelve ? QStringLiteral("a shelve needs its minutes") : QString();
    return !shelve;
  }
  double minutes = NAN;
  if (text.front() != '{') {
    bool number = false;
    minutes = text.toDouble(&number);
    if (!shelve || !number) {
      why = QStringLiteral("the payload is neither empty nor a JSON object");
      return false;
    }
  } else {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
      why = QStringLiteral("the payload is not a JSON object");
      return false;
    }
    const QJsonObject object = document.object();
    const QJsonValue user = object.value(QLatin1String("user"));
    if (!user.isUndefined() && (!user.isString() || user.toString().size() > 64)) {
      why = QStringLiteral("\"user\" is not a name of at most 64 characters");
      return false;
    }
    command.user = user.toString();
    if (shelve)
      minutes = object.value(QLatin1String("minutes")).toDouble(NAN);
  }
  if (shelve) {
    if (!(minutes >= 1 && minutes <= maxShelveMinutes) || minutes != std::floor(minutes)) {
      why = QStringLiteral("a shelve takes whole minutes from 1 to %1").arg(maxShelveMinutes);
      return false;
    }
    command.minutes = int(minutes);
  }
  for (const QChar c : command.user)
    if (!c.isPrint()) {
      why = QStringLiteral("\"user\" holds a character that cannot be shown");
      return false;
    }
  return true;
}

} // namespace

ParsedCommand parseCommand(QByteArrayView suffix, const QByteArray &payload) {
  if (payload.size() > maxCommandPayloadBytes)
    return refused(QStringLiteral("the payload is larger than %1 bytes").arg(maxCommandPayloadBytes));
  AlarmCommand command;
  const QList<QByteArray> parts = QByteArray(suffix.data(), suffix.size()).split('/');
  if (parts.size() == 2 && parts[0] == "alarms" && parts[1] == "acknowledge_all") {
    command.kind = AlarmCommand::Kind::AcknowledgeAll;
  } else if (parts.size() == 3 && parts[0] == "alarm") {
    command.alarm = alarmOf(parts[1]);
    if (!command.alarm)
      return refused(QStringLiteral("there is no alarm \"%1\"").arg(QString::fromUtf8(parts[1])));
    if (parts[2] == "acknowledge")
      command.kind = AlarmCommand::Kind::Acknowledge;
    else if (parts[2] == "shelve")
      command.kind = AlarmCommand::Kind::Shelve;
    else if (parts[2] == "unshelve")
      command.kind = AlarmCommand::Kind::Unshelve;
    else
      return refused(QStringLiteral("an alarm takes acknowledge, shelve or unshelve"));
  } else {
    return refused(QStringLiteral("it is no command"));
  }
  QString why;
  if (!readPayload(payload, command.kind == AlarmCommand::Kind::Shelve, command, why))
    return refused(why);
  return {command, QString()};
}

QString commandUser(const AlarmCommand &command) {
  return command.user.isEmpty() ? QStringLiteral("mqtt") : QStringLiteral("mqtt:") + command.user;
}

} // namespace publish
