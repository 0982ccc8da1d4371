#include "tests/week/last_values.h"

#include <mosquitto.h>

namespace weektest {

LastValues::LastValues(int port, const QByteArray &filter) : m_filter(filter) {
  mosquitto_lib_init();
  m_mosq = mosquitto_new(nullptr, true, this);
  mosquitto_connect_callback_set(m_mosq, &LastValues::onConnect);
  mosquitto_subscribe_callback_set(m_mosq, &LastValues::onSubscribe);
  mosquitto_message_callback_set(m_mosq, &LastValues::onMessage);
  mosquitto_connect(m_mosq, "127.0.0.1", port, 60);
  mosquitto_loop_start(m_mosq);
}

LastValues::~LastValues() {
  mosquitto_disconnect(m_mosq);
  mosquitto_loop_stop(m_mosq, false);
  mosquitto_destroy(m_mosq);
}

bool LastValues::subscribed() const {
  std::lock_guard lock(m_mutex);
  return m_subscribed;
}

QHash<QByteArray, QByteArray> LastValues::last() const {
  std::lock_guard lock(m_mutex);
  return m_last;
}

qint64 LastValues::received() const {
  std::lock_guard lock(m_mutex);
  return m_received;
}

void LastValues::onConnect(mosquitto *mosq, void *self, int rc) {
  if (rc == 0)
    mosquitto_subscribe(mosq, nullptr, static_cast<LastValues *>(self)->m_filter.constData(), 1);
}

void LastValues::onSubscribe(mosquitto *, void *self, int, int, const int *) {
  auto *me = static_cast<LastValues *>(self);
  std::lock_guard lock(me->m_mutex);
  me->m_subscribed = true;
}

void LastValues::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
  auto *me = static_cast<LastValues *>(self);
  const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
  std::lock_guard lock(me->m_mutex);
  me->m_last.insert(QByteArray(message->topic), payload);
  ++me->m_received;
}

} // namespace weektest
