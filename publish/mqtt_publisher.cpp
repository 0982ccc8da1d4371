#include "publish/mqtt_publisher.h"

#include "publish/discovery.h"
#include "publish/payloads.h"
#include "publish/topics.h"


#include <cstdio>

namespace publish {

MqttPublisher::MqttPublisher(const AcquisitionState &state, const QString &reason, QObject *parent)
    : QObject(parent), m_state(state) {
  setState(ConnectionState::Off, QStringLiteral("MQTT: not publishing: ") + reason);
}

MqttPublisher::MqttPublisher(const AcquisitionState &state, const MqttConfig &config,
                             QObject *parent)
    : QObject(parent), m_state(state), m_config(config) {
  for (const state::QuantityInfo &quantity : state::quantities) {
    const topics::QuantityTopic &names = topics::of(quantity.quantity);
    m_readingTopics.push_back(topic(names.topic));
    m_correctedTopics.push_back(names.correctedTopic ? topic(names.correctedTopic) : QByteArray());
  }
  m_client = std::make_unique<mqtt::Client>(config);
  const QByteArray status = topic(topics::status);
  m_client->setWill(status, "offline", retainedQos, true);
  m_client->addBirth(status, "online", retainedQos, true);
  // Home Assistant says "online" when it starts: it has forgotten every config it had.
  if (!m_config.discoveryPrefix.isEmpty())
    m_client->subscribe((m_config.discoveryPrefix + QStringLiteral("/status")).toUtf8(), 1);
  if (m_config.acceptCommands)
    m_client->subscribe(topic(topics::commandPrefix) + '#', 1);
  if (!m_config.discoveryPrefix.isEmpty() || m_config.acceptCommands)
    m_client->setMessageHandler([this](const mqtt::Message &message) { onMessage(message); });
  connect(m_client.get(), &mqtt::Client::stateChanged, this, &MqttPublisher::onClientState);
  connect(m_client.get(), &mqtt::Client::connected, this, [this] {
    publishRetained();
    publishDiscovery();
  });
  m_client->start();
}

MqttPublisher::~MqttPublisher() {
  if (m_client && m_client->isConnected())
    m_client->publish(topic(topics::status), "offline", retainedQos, true);
  // The client lets queued packets out before it disconnects.
}

QByteArray MqttPublisher::topic(const char *suffix) const {
  return (m_config.topicPrefix + QLatin1Char('/') + QLatin1String(suffix)).toUtf8();
}

void MqttPublisher::setState(ConnectionState state, const QString &text) {
  if (state == m_connectionState && text == m_stateText)
    return;
  m_connectionState = state;
  m_stateText = text;
  emit stateChanged(state, text);
}

void MqttPublisher::onClientState(mqtt::State state, const QString &reason, int retryIn) {
  const QString address = m_client->address();
  switch (state) {
  case mqtt::State::Connecting:
    setState(state, QStringLiteral("MQTT: connecting to %1").arg(address));
    break;
  case mqtt::State::Connected:
    setState(state,
             QStringLiteral("MQTT: publishing to %1 under %2").arg(address, m_config.topicPrefix));
    break;
  case mqtt::State::Retrying:
    setState(state, QStringLiteral("MQTT: not connected to %1 (%2); trying again in %3 s")
                        .arg(address, reason)
                        .arg(retryIn));
    break;
  case mqtt::State::Off:
    setState(state, QStringLiteral("MQTT: not publishing: ") + reason);
    break;
  }
}

bool MqttPublisher::publishReading(const QByteArray &topic, double value, const char *unit,
                                   const QDateTime &time) {
  return m_client->unsent() < maxUnsent &&
         m_client->publish(topic, readingPayload(value, unit, time.toUTC()), readingQos, false);
}

void MqttPublisher::readingStored(const state::Reading &reading) {
  // A reading is dropped, and counted once, unless every topic it goes to got it.
  if (!m_client || !m_client->isConnected()) {
    ++m_dropped;
    return;
  }
  const auto k = static_cast<size_t>(reading.quantity);
  const char *unit = state::info(reading.quantity).unit;
  bool sent = publishReading(m_readingTopics[k], reading.value, unit, reading.time);
  if (!m_correctedTopics[k].isEmpty())
    sent = publishReading(m_correctedTopics[k], reading.corrected, unit, reading.time) && sent;
  if (!sent)
    ++m_dropped;
}

void MqttPublisher::switchChanged(state::Channel channel, bool on) {
  if (!m_client || !m_client->isConnected())
    return; // published afresh at the next connection
  m_client->publish(topic(topics::of(channel)), on ? "on" : "off", retainedQos, true);
}

MqttPublisher::Calibration MqttPublisher::calibration(int probe) const {
  const state::ProbeInfo &p = state::probe(probe);
  return {m_state.*p.offset, m_state.*p.slope, m_state.*p.serial, m_state.*p.calDate};
}

void MqttPublisher::publishCalibration(int probe, const Calibration &calibration) {
  m_client->publish(topic(topics::ofProbe(probe).calibration),
                    calibrationPayload(calibration.offset, calibration.slope, calibration.serial,
                                       calibration.date),
                    retainedQos, true);
  m_publishedCalibration[probe - 1] = calibration;
}

void MqttPublisher::checkCalibration() {
  if (!m_client || !m_client->isConnected())
    return; // published afresh at the next connection
  for (int probe = 1; probe <= 2; ++probe) {
    const Calibration now = calibration(probe);
    if (!m_calibrationPublished || !(now == m_publishedCalibration[probe - 1]))
      publishCalibration(probe, now);
  }
  m_calibrationPublished = true;
}

// The status went out first, as the client's birth; the rest of what a subscriber should find.
void MqttPublisher::publishRetained() {
  for (const state::ChannelInfo &channel : state::channels)
    m_client->publish(topic(topics::of(channel.channel)), m_state.*channel.enabled ? "on" : "off", retainedQos,
                      true);
  for (const QByteArray &payload : m_pendingEvents)
    m_client->publish(topic(topics::event), payload, retainedQos, false);
  m_pendingEvents.clear();
  m_client->publish(topic(topics::commands), m_config.acceptCommands ? "on" : "off", retainedQos,
                    true);
  m_calibrationPublished = false;
  checkCalibration();
  for (int probe = 1; probe <= 2; ++probe)
    publishCalibrationDue(probe);
  for (const auto &[suffix, payload] : m_otherRetained)
    m_client->publish(topic(suffix.toUtf8().constData()), payload, retainedQos, true);
}

void MqttPublisher::setRetained(const QString &suffix, const QByteArray &payload) {
  m_otherRetained[suffix] = payload;
  if (m_client && m_client->isConnected())
    m_client->publish(topic(suffix.toUtf8().constData()), payload, retainedQos, true);
}

void MqttPublisher::publishEvent(const QString &event, const QString &detail,
                                 const QString &user, qint64 timeMs) {
  if (!m_client)
    return;
  QByteArray payload = "{\"event\":";
  appendJsonString(payload, event);
  payload += ",\"detail\":";
  appendJsonString(payload, detail);
  payload += ",\"user\":";
  appendJsonString(payload, user);
  payload += ",\"time\":\"" +
             QDateTime::fromMSecsSinceEpoch(timeMs).toUTC().toString(Qt::ISODate).toUtf8() +
             "\"}";
  if (m_client->isConnected()) {
    m_client->publish(topic(topics::event), payload, retainedQos, false);
    return;
  }
  // Kept for the next connection, the oldest given up first: "started" comes before the first
  // connection, and a short outage should not lose a port_lost.
  if (m_pendingEvents.size() >= maxPendingEvents)
    m_pendingEvents.pop_front();
  m_pendingEvents.push_back(payload);
}

void MqttPublisher::onMessage(const mqtt::Message &message) {
  if (!m_config.discoveryPrefix.isEmpty() &&
      message.topic == (m_config.discoveryPrefix + QStringLiteral("/status")).toUtf8()) {
    if (message.payload == "online")
      QMetaObject::invokeMethod(this, &MqttPublisher::publishDiscovery, Qt::QueuedConnection);
    return;
  }
  if (!m_config.acceptCommands || !message.topic.startsWith(topic(topics::commandPrefix)))
    return;
  // A flood is cut here, before anything is queued for the window: the excess is counted.
  const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
  if (second != m_commandSecond) {
    m_commandSecond = second;
    m_commandsThisSecond = 0;
  }
  const bool taken = ++m_commandsThisSecond <= maxCommandsPerSecond;
  if (!taken) {
    // Counted here and said once a second: nothing of a flood waits in the window's queue.
    ++m_refusedCommands;
    if (m_commandsThisSecond > maxCommandsPerSecond + 1)
      return;
  }
  // The client's bytes live only as long as this call: the window gets copies of its own.
  const mqtt::Message copy{QByteArray(message.topic.constData(), message.topic.size()),
                           QByteArray(message.payload.constData(), message.payload.size()),
                           message.retained};
  QMetaObject::invokeMethod(
      this,
      [this, message = copy, taken] {
        if (taken)
          takeCommand(message);
        else
          refuseCommand(QString::fromUtf8(message.topic),
                        QStringLiteral("more than %1 commands a second").arg(maxCommandsPerSecond));
      },
      Qt::QueuedConnection);
}

void MqttPublisher::takeCommand(const mqtt::Message &message) {
  const QString topicText = QString::fromUtf8(message.topic);
  ++m_refusedCommands; // taken back below for a sound one
  // A retained command was sent some time ago, perhaps to a program long gone: only live ones.
  if (message.retained)
    return refuseCommand(topicText, QStringLiteral("it is retained on the broker"));
  const ParsedCommand parsed =
      parseCommand(QByteArrayView(message.topic).sliced(topic(topics::commandPrefix).size()),
                   message.payload);
  if (!parsed.command)
    return refuseCommand(topicText, parsed.refusal);
  --m_refusedCommands;
  emit commandReceived(*parsed.command);
}

void MqttPublisher::refuseCommand(const QString &topicText, const QString &reason) {
  std::fprintf(stderr, "brellis: MQTT command on %s refused: %s\n", qPrintable(topicText),
               qPrintable(reason));
  emit commandRefused(topicText, reason);
}

void MqttPublisher::publishDiscovery() {
  if (m_config.discoveryPrefix.isEmpty() || !m_client->isConnected())
    return;
  for (const auto &[configTopic, config] :
       discoveryConfigs(m_config.discoveryPrefix, m_config.topicPrefix,
                        m_config.acceptCommands))
    m_client->publish(configTopic, config, retainedQos, true);
}

} // namespace publish
