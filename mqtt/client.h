#pragma once

#include "mqtt/endpoint.h"
#include "mqtt/retry_pauses.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace mqtt {

enum class State {
  Off,        // not connected, for the reason given; nothing is retried
  Connecting, // the first attempt is under way
  Connected,
  Retrying, // the connection failed or was lost; it is tried again after a pause
};

// A message as it arrived. `topic` and `payload` point into libmosquitto's buffers and are valid
// only during the call that hands the message over: copy what is kept.
struct Message {
  QByteArray topic;
  QByteArray payload;
  bool retained = false;
};

// One connection to a broker. libmosquitto's loop runs on a network thread of the client's own,
// which connects, sends, receives and, after a failure, connects again after the pauses of
// RetryPauses. A refused user name or password, and a broker certificate that does not verify,
// end the attempts: asking again with the same ones cannot succeed. (The thread of libmosquitto
// 2.0.11's mosquitto_loop_start did not try again after a first connection that failed, a broker
// not yet up; hence a loop of our own.)
//
// Every function is for the thread that created the client (the user-interface thread), never
// waits for the network, and the signals arrive on that thread. Only the message handler runs on
// the network thread.
class Client : public QObject {
  Q_OBJECT
public:
  // The bound for unsent() that a sender of readings keeps to: beyond it the broker reads too
  // slowly, and readings are better dropped than queued.
  static constexpr int maxUnsent = 500;
  // Seconds without traffic before the client pings the broker; a broker silent for one and a half
  // times this is taken as gone.
  static constexpr int keepalive = 15;

  explicit Client(const Endpoint &endpoint, QObject *parent = nullptr);
  // Lets what was published go out (at most 2 s), disconnects and ends the network thread.
  ~Client() override;

  // The set-up, before start():
  // The broker publishes this when the connection ends without a goodbye.
  void setWill(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
  // Published at every connection before anything else: isConnected() turns true only once it is
  // queued, so nothing published through publish() can precede it.
  void addBirth(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
  // Subscribed at every connection.
  void subscribe(const QByteArray &filter, int qos);
  // Called on the network thread for every message received.
  void setMessageHandler(std::function<void(const Message &)> handler);

  // Starts connecting, without waiting for any part of it.
  void start();

  // Queues a message; false (and nothing sent) while not connected.
  bool publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
  // Messages queued and not yet sent (QoS 0) or acknowledged (QoS 1): a sender that must not let
  // them grow without bound stops at maxUnsent.
  int unsent() const { return m_unsent.load(); }

  bool isConnected() const { return m_connected.load(); }
  State state() const { return m_state; }
  QString address() const { return m_endpoint.address(); }
  const Endpoint &endpoint() const { return m_endpoint; }

signals:
  // `reason`: why the client is Off or Retrying (empty otherwise); `retryIn`: the pause in seconds
  // before the next attempt when Retrying, 0 otherwise.
  void stateChanged(mqtt::State state, const QString &reason, int retryIn);
  // The connection is up and the births are queued; a place to publish the retained topics.
  void connected();

private:
  struct Retained {
    QByteArray topic;
    QByteArray payload;
    int qos;
    bool retain;
  };

  void setState(State state, const QString &reason = QString(), int retryIn = 0);
  void post(std::function<void()> work);
  void giveUp(const QString &reason);
  void stopNetwork();
  bool pause(int seconds);
  void networkLoop(QByteArray host);
  QString takeLastError();

  // libmosquitto's callbacks, on the network thread.
  static void onConnect(mosquitto *, void *self, int rc);
  static void onDisconnect(mosquitto *, void *self, int rc);
  static void onPublish(mosquitto *, void *self, int mid);
  static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
  static void onLog(mosquitto *, void *self, int level, const char *text);

  const Endpoint m_endpoint;
  mosquitto *m_mosq = nullptr;
  std::thread m_network;
  State m_state = State::Off;
  bool m_gaveUp = false;
  bool m_started = false;
  QString m_setupError;

  // Fixed once start() runs; read by the network thread.
  std::vector<Retained> m_births;
  std::vector<std::pair<QByteArray, int>> m_filters;
  std::function<void(const Message &)> m_handler;
  RetryPauses m_pauses; // the network thread's alone

  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_stop{false};    // the network thread ends at once
  std::atomic<bool> m_closing{false}; // it ends once the last packets are out (at most 2 s)
  std::mutex m_pauseMutex;
  std::condition_variable m_pauseEnd;
  std::atomic<int> m_unsent{0};
  std::mutex m_errorMutex;
  QString m_lastError; // the newest error libmosquitto logged; guarded by m_errorMutex
};

} // namespace mqtt
