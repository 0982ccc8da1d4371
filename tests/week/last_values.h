#pragma once

#include <QByteArray>
#include <QHash>

#include <mutex>

struct mosquitto;
struct mosquitto_message;

namespace weektest {

// A libmosquitto subscriber that keeps only the newest payload of each topic and a count of the
// messages, so that a week of readings costs it no memory beyond one payload a topic.
class LastValues {
public:
  LastValues(int port, const QByteArray &filter);
  ~LastValues();
  LastValues(const LastValues &) = delete;
  LastValues &operator=(const LastValues &) = delete;

  bool subscribed() const;
  QHash<QByteArray, QByteArray> last() const;
  qint64 received() const;

private:
  static void onConnect(mosquitto *, void *self, int rc);
  static void onSubscribe(mosquitto *, void *self, int, int, const int *);
  static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

  mosquitto *m_mosq = nullptr;
  QByteArray m_filter;
  mutable std::mutex m_mutex;
  QHash<QByteArray, QByteArray> m_last;
  qint64 m_received = 0;
  bool m_subscribed = false;
};

} // namespace weektest
