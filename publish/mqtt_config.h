#pragma once

#include "mqtt/endpoint.h"

#include <QString>

#include <optional>

namespace publish {

// Where and how readings are published, as the command line gave it, checked.
// The password is read from the password file, never from the command line.
struct MqttConfig : mqtt::Endpoint {
  QString topicPrefix;
  QString discoveryPrefix; // empty: nothing is announced to Home Assistant
  // --mqtt-commands: the alarms may be answered over <topicPrefix>/command/#.
  bool acceptCommands = false;
};

// Either a usable configuration or the operator's message saying what is wrong with the input.
struct MqttConfigResult {
  std::optional<MqttConfig> config;
  QString error;
};

// The command line's MQTT options. `url` is mqtt://[user@]host[:port] or mqtts://...; an empty
// `topicPrefix` means brellis/<hostName>; `passwordFile` is read here, its one line (a final line
// break is not part of the password). Files are checked here so that the operator hears of a
// wrong one at start, not at the first connection.
MqttConfigResult makeMqttConfig(const QString &url, const QString &caFile,
                                const QString &topicPrefix, const QString &passwordFile,
                                const QString &hostName);

// Why `prefix` cannot start topic names (empty when it can): MQTT's wildcards and NUL are refused,
// since a topic that holds them cannot be published to.
QString topicPrefixError(const QString &prefix);

} // namespace publish
