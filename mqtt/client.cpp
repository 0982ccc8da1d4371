#include "mqtt/client.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace mqtt {

QString Endpoint::address() const {
  const QString shownHost =
      host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
  return QStringLiteral("%1://%2:%3")
      .arg(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), shownHost)
      .arg(port);
}

Client::Client(const Endpoint &endpoint, QObject *parent) : QObject(parent), m_endpoint(endpoint) {
  // Once per process. (Not std::call_once: its thread-local state would make the program load
  // the dynamic loader by name, which no package declares.)
  static const bool libraryReady = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
  Q_UNUSED(libraryReady);
  m_mosq = mosquitto_new(nullptr, true, this);
  if (!m_mosq) {
    m_setupError = QStringLiteral("cannot create the MQTT client");
    return;
  }
  mosquitto_connect_callback_set(m_mosq, &Client::onConnect);
  mosquitto_disconnect_callback_set(m_mosq, &Client::onDisconnect);
  mosquitto_publish_callback_set(m_mosq, &Client::onPublish);
  mosquitto_message_callback_set(m_mosq, &Client::onMessage);
  mosquitto_log_callback_set(m_mosq, &Client::onLog);
  // Packets are written by the network thread alone; a publish only queues and wakes it.
  mosquitto_threaded_set(m_mosq, true);

  if (!m_endpoint.user.isEmpty()) {
    const QByteArray user = m_endpoint.user.toUtf8();
    const QByteArray password = m_endpoint.password.toUtf8();
    mosquitto_username_pw_set(m_mosq, user.constData(),
                              m_endpoint.password.isEmpty() ? nullptr : password.constData());
  }
  if (m_endpoint.tls) {
    int rc = MOSQ_ERR_SUCCESS;
    if (m_endpoint.caFile.isEmpty()) {
      rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else {
      const QByteArray ca = m_endpoint.caFile.toLocal8Bit();
      rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS)
      m_setupError = QStringLiteral("TLS cannot be set up: %1")
                         .arg(QString::fromLocal8Bit(mosquitto_strerror(rc)));
  }
}

Client::~Client() {
  if (!m_mosq)
    return;
  // Queued packets go out before the disconnect; the network thread then ends.
  mosquitto_disconnect(m_mosq);
  stopNetwork();
  mosquitto_destroy(m_mosq);
}

void Client::setWill(const QByteArray &topic, const QByteArray &payload, int qos, bool retain) {
  if (m_mosq && !m_started)
    mosquitto_will_set(m_mosq, topic.constData(), static_cast<int>(payload.size()),
                       payload.constData(), qos, retain);
}

void Client::addBirth(const QByteArray &topic, const QByteArray &payload, int qos, bool retain) {
  if (!m_started)
    m_births.push_back({topic, payload, qos, retain});
}

void Client::subscribe(const QByteArray &filter, int qos) {
  if (!m_started)
    m_filters.emplace_back(filter, qos);
}

void Client::setMessageHandler(std::function<void(const Message &)> handler) {
  if (!m_started)
    m_handler = std::move(handler);
}

void Client::start() {
  if (m_started)
    return;
  m_started = true;
  if (!m_setupError.isEmpty()) {
    giveUp(m_setupError);
    return;
  }
  setState(State::Connecting);
  m_network = std::thread(&Client::networkLoop, this, m_endpoint.host.toUtf8());
}

bool Client::pause(int seconds) {
  std::unique_lock lock(m_pauseMutex);
  return !m_pauseEnd.wait_for(lock, std::chrono::seconds(seconds),
                              [this] { return m_stop.load() || m_closing.load(); });
}

void Client::networkLoop(QByteArray host) {
  bool first = true;
  while (!m_stop && !m_closing) {
    // The socket connects without blocking; only the name lookup may take a while.
    int rc = first ? mosquitto_connect_async(m_mosq, host.constData(), m_endpoint.port, keepalive)
                   : mosquitto_reconnect_async(m_mosq);
    int failureErrno = errno;
    first = false;
    if (rc == MOSQ_ERR_SUCCESS) {
      // Closing: what was queued last gets two seconds to go out.
      std::optional<std::chrono::steady_clock::time_point> closingBy;
      while (!m_stop) {
        rc = mosquitto_loop(m_mosq, 100, 1);
        failureErrno = errno;
        if (rc != MOSQ_ERR_SUCCESS)
          break;
        if (m_closing && !closingBy)
          closingBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        if (closingBy && std::chrono::steady_clock::now() > *closingBy)
          return;
      }
    }
    m_connected = false;
    if (m_stop || m_closing)
      return;
    QString reason = takeLastError();
    if (reason.isEmpty())
      reason = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(failureErrno))
                                    : QString::fromLocal8Bit(mosquitto_strerror(rc));
    const int delay = m_pauses.next();
    post([this, reason, delay] {
      if (!m_gaveUp)
        setState(State::Retrying, reason, delay);
    });
    if (!pause(delay))
      return;
  }
}

void Client::setState(State state, const QString &reason, int retryIn) {
  m_state = state;
  emit stateChanged(state, reason, retryIn);
}

void Client::post(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Client::stopNetwork() {
  {
    const std::lock_guard lock(m_pauseMutex);
    m_closing = true;
  }
  m_pauseEnd.notify_all();
  if (m_network.joinable())
    m_network.join();
}

void Client::giveUp(const QString &reason) {
  m_gaveUp = true;
  m_connected = false;
  {
    const std::lock_guard lock(m_pauseMutex);
    m_stop = true;
  }
  m_pauseEnd.notify_all();
  setState(State::Off, reason);
}

QString Client::takeLastError() {
  const std::lock_guard lock(m_errorMutex);
  return std::exchange(m_lastError, QString());
}

bool Client::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain) {
  if (!m_connected)
    return false;
  ++m_unsent;
  if (mosquitto_publish(m_mosq, nullptr, topic.constData(), static_cast<int>(payload.size()),
                        payload.constData(), qos, retain) != MOSQ_ERR_SUCCESS) {
    --m_unsent;
    return false;
  }
  return true;
}

void Client::onConnect(mosquitto *mosq, void *self, int rc) {
  auto *client = static_cast<Client *>(self);
  if (rc == 0) {
    client->m_pauses.reset();
    client->m_unsent = 0; // libmosquitto discarded what the lost connection held
    for (const auto &[filter, qos] : client->m_filters)
      mosquitto_subscribe(mosq, nullptr, filter.constData(), qos);
    for (const Retained &birth : client->m_births)
      mosquitto_publish(mosq, nullptr, birth.topic.constData(), static_cast<int>(birth.payload.size()),
                        birth.payload.constData(), birth.qos, birth.retain);
    client->m_connected = true;
    client->post([client] {
      if (client->m_gaveUp || !client->m_connected)
        return;
      client->setState(State::Connected);
      emit client->connected();
    });
    return;
  }
  // 4 and 5: the user name or password is wrong, or the user may not connect.
  const QString reason = QString::fromLocal8Bit(mosquitto_connack_string(rc));
  if (rc == 4 || rc == 5) {
    client->m_stop = true;
    client->post([client, reason] {
      if (!client->m_gaveUp)
        client->giveUp(
            QStringLiteral("%1 refused the connection: %2").arg(client->address(), reason));
    });
    return;
  }
  const std::lock_guard lock(client->m_errorMutex);
  client->m_lastError = QStringLiteral("refused the connection: ") + reason;
}

void Client::onDisconnect(mosquitto *, void *self, int) {
  // The network loop reports the reason and tries again.
  static_cast<Client *>(self)->m_connected = false;
}

void Client::onPublish(mosquitto *, void *self, int) {
  auto *client = static_cast<Client *>(self);
  if (client->m_unsent.load() > 0)
    --client->m_unsent;
}

void Client::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
  auto *client = static_cast<Client *>(self);
  if (!client->m_handler || !message->topic)
    return;
  Message received;
  received.topic = QByteArray::fromRawData(message->topic, qsizetype(std::strlen(message->topic)));
  received.payload = QByteArray::fromRawData(static_cast<const char *>(message->payload),
                                             message->payload ? message->payloadlen : 0);
  received.retained = message->retain;
  client->m_handler(received);
}

void Client::onLog(mosquitto *, void *self, int level, const char *text) {
  if (!(level & MOSQ_LOG_ERR))
    return;
  auto *client = static_cast<Client *>(self);
  const QString message = QString::fromLocal8Bit(text);
  {
    const std::lock_guard lock(client->m_errorMutex);
    client->m_lastError = message;
  }
  // A broker whose certificate does not verify against the trusted authorities will not verify
  // on the next attempt either, and the operator must hear of it rather than see retries.
  if (message.contains(QLatin1String("certificate verify failed"))) {
    client->m_stop = true;
    client->post([client] {
      if (client->m_gaveUp)
        return;
      const QString authority = client->m_endpoint.caFile.isEmpty()
                                    ? QStringLiteral("the system's certificate authorities")
                                    : QLatin1Char('"') + client->m_endpoint.caFile + QLatin1Char('"');
      client->giveUp(QStringLiteral("the certificate of %1 does not verify against %2")
                         .arg(client->address(), authority));
    });
  }
}

} // namespace mqtt
