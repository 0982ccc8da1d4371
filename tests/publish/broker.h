#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace brokertest {

// A free TCP port on 127.0.0.1 at the moment of asking.
int freePort();

// Runs a command to its end and returns its exit status (-1 when it could not run).
int run(const QString &program, const QStringList &arguments);

// Publishes each (topic, payload) with QoS 1 from a client of its own, and waits until the broker
// has them.
void publishMessages(int port, const std::vector<std::pair<QByteArray, QByteArray>> &messages);

// A real mosquitto on 127.0.0.1, configured by the lines given, in a folder of its own.
class Broker {
public:
  // `listeners` are configuration lines; "listener" lines name ports from freePort().
  explicit Broker(QStringList configuration);
  ~Broker();
  bool start(); // true once it accepts connections on every listener port
  void stop();
  // Stops the broker process in its tracks (SIGSTOP) and lets it go on (SIGCONT): a broker that
  // keeps its connections open and reads nothing.
  void freeze(bool frozen);
  QString dir() const { return m_dir.path(); }
  QString log() const;

private:
  QTemporaryDir m_dir;
  QStringList m_configuration;
  std::vector<int> m_ports;
  QProcess m_process;
};

// A libmosquitto subscriber to one topic filter on a plain listener, recording every message.
class Subscriber {
public:
  struct Message {
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
  };

  // `newestOnly` keeps one message a topic, the newest, so that millions cost no memory.
  Subscriber(int port, const QByteArray &filter, bool newestOnly = false);
  ~Subscriber();
  bool subscribed() const;
  std::vector<Message> messages() const;
  // The newest payload on `topic`, if any arrived.
  std::optional<QByteArray> last(const QByteArray &topic) const;
  void clear();
  // Every message that arrived, kept or not.
  qint64 received() const;

private:
  static void onConnect(mosquitto *, void *self, int rc);
  static void onSubscribe(mosquitto *, void *self, int, int, const int *);
  static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

  mosquitto *m_mosq = nullptr;
  QByteArray m_filter;
  mutable std::mutex m_mutex;
  std::vector<Message> m_messages;
  bool m_subscribed = false;
  bool m_newestOnly = false;
  qint64 m_received = 0;
};

} // namespace brokertest
