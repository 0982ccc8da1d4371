#pragma once

#include "alarms/alarm_engine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// What may be asked of the alarms over the broker, under "<prefix>/command/": the same four
// actions as the alarm list's buttons. Pure: a topic and payload in, a command or why not out.
namespace publish {

struct AlarmCommand {
  enum class Kind { Acknowledge, AcknowledgeAll, Shelve, Unshelve };
  Kind kind = Kind::AcknowledgeAll;
  std::optional<alarms::Alarm> alarm; // every kind but AcknowledgeAll
  int minutes = 0;                    // Shelve: 1 to 1440
  QString user;                       // as the sender names itself; empty when it does not
};

struct ParsedCommand {
  std::optional<AlarmCommand> command;
  QString refusal; // why it is not one; empty with a command
};

inline constexpr int maxCommandPayloadBytes = 1024;
inline constexpr int maxShelveMinutes = 1440;

// `suffix` is the topic after "<prefix>/command/": "alarm/<key>/acknowledge",
// "alarms/acknowledge_all", "alarm/<key>/shelve" (payload: minutes, or {"minutes":30}), or
// "alarm/<key>/unshelve". Any payload may instead be a JSON object naming the sender,
// {"user":"anna"}; an empty payload names nobody.
ParsedCommand parseCommand(QByteArrayView suffix, const QByteArray &payload);

// "mqtt:anna", or "mqtt" for a command that names nobody: who the alarm journal says answered.
QString commandUser(const AlarmCommand &command);

} // namespace publish
