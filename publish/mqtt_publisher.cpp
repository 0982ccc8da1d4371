#include "publish/mqtt_publisher.h"

#include <QDateTime>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

namespace publish {
namespace {

// The shortest text that reads back as the same double; JSON has no NaN or infinity.
void appendNumber(QByteArray &out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[32];
  const auto [end, ec] = std::to_chars(std::begin(buffer), std::end(buffer), value);
  out.append(buffer, ec == std::errc() ? end - buffer : 0);
}

void appendString(QByteArray &out, const QString &text) {
  out += '"';
  for (const char c : text.toUtf8()) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

// Seconds without traffic before the client pings the broker; a broker silent for one and a half
// times this is taken as gone.
constexpr int keepalive = 15;

} // namespace

MqttPublisher::MqttPublisher(const AcquisitionState &state, const QString &reason, QObject *parent)
    : QObject(parent), m_state(state) {
  m_gaveUp = true;
  setState(ConnectionState::Off, QStringLiteral("MQTT: not publishing: ") + reason);
}

MqttPublisher::MqttPublisher(const AcquisitionState &state, const MqttConfig &config,
                             QObject *parent)
    : QObject(parent), m_state(state), m_config(config) {
  // Once per process. (Not std::call_once: its thread-local state would make the program load
  // the dynamic loader by name, which no package declares.)
  static const bool libraryReady = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
  Q_UNUSED(libraryReady);
  m_mosq = mosquitto_new(nullptr, true, this);
  if (!m_mosq) {
    giveUp(QStringLiteral("cannot create the MQTT client"));
    return;
  }
  for (const state::QuantityInfo &quantity : state::quantities)
    m_readingTopics.push_back(topic(quantity.topic));
  mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
  mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::onDisconnect);
  mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublish);
  mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLog);
  // Packets are written by the network thread alone; a publish only queues and wakes it.
  mosquitto_threaded_set(m_mosq, true);

  const QByteArray status = topic("status");
  mosquitto_will_set(m_mosq, status.constData(), 7, "offline", retainedQos, true);
  if (!m_config.user.isEmpty()) {
    const QByteArray user = m_config.user.toUtf8();
    const QByteArray password = m_config.password.toUtf8();
    mosquitto_username_pw_set(m_mosq, user.constData(),
                              m_config.password.isEmpty() ? nullptr : password.constData());
  }
  if (m_config.tls) {
    int rc = MOSQ_ERR_SUCCESS;
    if (m_config.caFile.isEmpty()) {
      rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else {
      const QByteArray ca = m_config.caFile.toLocal8Bit();
      rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      giveUp(QStringLiteral("TLS cannot be set up: %1")
                 .arg(QString::fromLocal8Bit(mosquitto_strerror(rc))));
      return;
    }
  }

  setState(ConnectionState::Connecting, QStringLiteral("MQTT: connecting to %1").arg(address()));
  m_network = std::thread(&MqttPublisher::networkLoop, this, m_config.host.toUtf8());
}

bool MqttPublisher::pause(int seconds) {
  std::unique_lock lock(m_pauseMutex);
  return !m_pauseEnd.wait_for(lock, std::chrono::seconds(seconds),
                              [this] { return m_stop.load() || m_closing.load(); });
}

void MqttPublisher::networkLoop(QByteArray host) {
  int delay = 1;
  bool first = true;
  while (!m_stop && !m_closing) {
    // The socket connects without blocking; only the name lookup may take a while.
    int rc = first ? mosquitto_connect_async(m_mosq, host.constData(), m_config.port, keepalive)
                   : mosquitto_reconnect_async(m_mosq);
    int failureErrno = errno;
    first = false;
    if (rc == MOSQ_ERR_SUCCESS) {
      // Closing: the "offline" and the disconnect queued last get two seconds to go out.
      std::optional<std::chrono::steady_clock::time_point> closingBy;
      while (!m_stop) {
        rc = mosquitto_loop(m_mosq, 200, 1);
        failureErrno = errno;
        if (rc != MOSQ_ERR_SUCCESS)
          break;
        if (m_delayReset.exchange(false))
          delay = 1;
        if (m_closing && !closingBy)
          closingBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        if (closingBy && std::chrono::steady_clock::now() > *closingBy)
          return;
      }
    }
    m_connected = false;
    if (m_stop || m_closing)
      return;
    QString reason = lastError();
    if (reason.isEmpty())
      reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(failureErrno))
                                    : QString::fromLocal8Bit(mosquitto_strerror(rc));
    post([this, reason, delay] {
      if (!m_gaveUp)
        setState(ConnectionState::Retrying,
                 QStringLiteral("MQTT: not connected to %1 (%2); trying again in %3 s")
                     .arg(address(), reason)
                     .arg(delay));
    });
    {
      const std::lock_guard lock(m_errorMutex);
      m_lastError.clear();
    }
    if (!pause(delay))
      return;
    delay = std::min(delay * 2, 30);
  }
}

MqttPublisher::~MqttPublisher() {
  if (!m_mosq)
    return;
  if (m_connected)
    send(topic("status"), QByteArrayLiteral("offline"), retainedQos, true);
  // Queued packets go out before the disconnect; the network thread then ends.
  mosquitto_disconnect(m_mosq);
  stopNetwork();
  mosquitto_destroy(m_mosq);
}

QByteArray MqttPublisher::topic(const char *suffix) const {
  return (m_config.topicPrefix + QLatin1Char('/') + QLatin1String(suffix)).toUtf8();
}

QString MqttPublisher::address() const {
  QString host = m_config.host.contains(QLatin1Char(':'))
                     ? QLatin1Char('[') + m_config.host + QLatin1Char(']')
                     : m_config.host;
  return QStringLiteral("%1://%2:%3")
      .arg(m_config.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), host)
      .arg(m_config.port);
}

void MqttPublisher::setState(ConnectionState state, const QString &text) {
  if (state == m_connectionState && text == m_stateText)
    return;
  m_connectionState = state;
  m_stateText = text;
  emit stateChanged(state, text);
}

void MqttPublisher::post(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void MqttPublisher::stopNetwork() {
  {
    const std::lock_guard lock(m_pauseMutex);
    m_closing = true;
  }
  m_pauseEnd.notify_all();
  if (m_network.joinable())
    m_network.join();
}

void MqttPublisher::giveUp(const QString &reason) {
  m_gaveUp = true;
  m_connected = false;
  {
    const std::lock_guard lock(m_pauseMutex);
    m_stop = true;
  }
  m_pauseEnd.notify_all();
  setState(ConnectionState::Off, QStringLiteral("MQTT: not publishing: ") + reason);
}

QString MqttPublisher::lastError() {
  const std::lock_guard lock(m_errorMutex);
  return m_lastError;
}

void MqttPublisher::send(const QByteArray &topic, const QByteArray &payload, int qos, bool retain) {
  ++m_unsent;
  if (mosquitto_publish(m_mosq, nullptr, topic.constData(), static_cast<int>(payload.size()),
                        payload.constData(), qos, retain) != MOSQ_ERR_SUCCESS) {
    --m_unsent;
    ++m_dropped;
  }
}

void MqttPublisher::readingStored(state::Quantity quantity, double value, const QDateTime &time) {
  if (!m_mosq)
    return;
  if (!m_connected || m_unsent.load() >= maxUnsent) {
    ++m_dropped;
    return;
  }
  QByteArray payload = QByteArrayLiteral("{\"value\":");
  appendNumber(payload, value);
  payload += ",\"unit\":\"";
  payload += state::info(quantity).unit;
  payload += "\",\"time\":\"";
  payload += time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
  payload += "\"}";
  send(m_readingTopics[static_cast<size_t>(quantity)], payload, readingQos, false);
}

void MqttPublisher::switchChanged(state::Channel channel, bool on) {
  if (!m_connected)
    return; // published afresh at the next connection
  send(topic(state::info(channel).topic), on ? QByteArrayLiteral("on") : QByteArrayLiteral("off"),
       retainedQos, true);
}

MqttPublisher::Calibration MqttPublisher::calibration(int probe) const {
  if (probe == 1)
    return {m_state.probe1Offset, m_state.probe1Slope, m_state.probe1Serial, m_state.probe1CalDate};
  return {m_state.probe2Offset, m_state.probe2Slope, m_state.probe2Serial, m_state.probe2CalDate};
}

void MqttPublisher::publishCalibration(int probe, const Calibration &calibration) {
  QByteArray payload = QByteArrayLiteral("{\"offset\":");
  appendNumber(payload, calibration.offset);
  payload += ",\"slope\":";
  appendNumber(payload, calibration.slope);
  payload += ",\"serial\":";
  appendString(payload, calibration.serial);
  payload += ",\"date\":";
  appendString(payload, calibration.date.toString(Qt::ISODate));
  payload += '}';
  send(topic(probe == 1 ? "ph1/calibration" : "ph2/calibration"), payload, retainedQos, true);
  m_publishedCalibration[probe - 1] = calibration;
}

void MqttPublisher::checkCalibration() {
  if (!m_connected)
    return; // published afresh at the next connection
  for (int probe = 1; probe <= 2; ++probe) {
    const Calibration now = calibration(probe);
    if (!m_calibrationPublished || !(now == m_publishedCalibration[probe - 1]))
      publishCalibration(probe, now);
  }
  m_calibrationPublished = true;
}

void MqttPublisher::publishRetained() {
  send(topic("status"), QByteArrayLiteral("online"), retainedQos, true);
  for (const state::ChannelInfo &channel : state::channels)
    send(topic(channel.topic),
         m_state.*channel.enabled ? QByteArrayLiteral("on") : QByteArrayLiteral("off"), retainedQos,
         true);
  m_calibrationPublished = false;
  checkCalibration();
  for (const auto &[suffix, payload] : m_otherRetained)
    send(topic(suffix.toUtf8().constData()), payload, retainedQos, true);
}

void MqttPublisher::setRetained(const QString &suffix, const QByteArray &payload) {
  m_otherRetained[suffix] = payload;
  if (m_mosq && m_connected)
    send(topic(suffix.toUtf8().constData()), payload, retainedQos, true);
}

void MqttPublisher::onConnect(mosquitto *, void *self, int rc) {
  auto *publisher = static_cast<MqttPublisher *>(self);
  if (rc == 0) {
    publisher->m_unsent = 0; // libmosquitto discarded what the lost connection held
    publisher->m_connected = true;
    publisher->m_delayReset = true;
    publisher->post([publisher] {
      if (publisher->m_gaveUp || !publisher->m_connected)
        return;
      publisher->setState(ConnectionState::Connected,
                          QStringLiteral("MQTT: publishing to %1 under %2")
                              .arg(publisher->address(), publisher->m_config.topicPrefix));
      publisher->publishRetained();
    });
    return;
  }
  // 4 and 5: the user name or password is wrong, or the user may not connect. Asking again with
  // the same ones cannot succeed.
  const QString reason = QString::fromLocal8Bit(mosquitto_connack_string(rc));
  const bool refused = rc == 4 || rc == 5;
  if (refused)
    publisher->m_stop = true;
  publisher->post([publisher, reason, refused] {
    if (publisher->m_gaveUp)
      return;
    if (refused)
      publisher->giveUp(
          QStringLiteral("%1 refused the connection: %2").arg(publisher->address(), reason));
    else
      publisher->setState(ConnectionState::Retrying,
                          QStringLiteral("MQTT: %1 refused the connection (%2); trying again")
                              .arg(publisher->address(), reason));
  });
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int) {
  // The network loop reports the reason and tries again.
  static_cast<MqttPublisher *>(self)->m_connected = false;
}

void MqttPublisher::onPublish(mosquitto *, void *self, int) {
  auto *publisher = static_cast<MqttPublisher *>(self);
  if (publisher->m_unsent.load() > 0)
    --publisher->m_unsent;
}

void MqttPublisher::onLog(mosquitto *, void *self, int level, const char *text) {
  if (!(level & MOSQ_LOG_ERR))
    return;
  auto *publisher = static_cast<MqttPublisher *>(self);
  const QString message = QString::fromLocal8Bit(text);
  {
    const std::lock_guard lock(publisher->m_errorMutex);
    publisher->m_lastError = message;
  }
  // A broker whose certificate does not verify against the trusted authorities will not verify
  // on the next attempt either, and the operator must hear of it rather than see retries.
  if (message.contains(QLatin1String("certificate verify failed"))) {
    publisher->m_stop = true;
    publisher->post([publisher] {
      if (!publisher->m_gaveUp)
        publisher->giveUp(
            QStringLiteral("the certificate of %1 does not verify against %2")
                .arg(publisher->address(),
                     publisher->m_config.caFile.isEmpty()
                         ? QStringLiteral("the system's certificate authorities")
                         : QLatin1Char('"') + publisher->m_config.caFile + QLatin1Char('"')));
    });
  }
}

} // namespace publish
