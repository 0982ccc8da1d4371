#pragma once

#include "publish/mqtt_config.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;

namespace publish {

enum class ConnectionState {
  Off,        // not publishing, for the reason the state text gives; nothing is retried
  Connecting, // the first attempt is under way
  Connected,
  Retrying, // the connection failed or was lost; it is tried again after a growing pause
};

// Publishes the readings that the channel readers store, the channel switches and the probes'
// calibration to an MQTT broker. All its functions are for the user-interface thread and never
// wait for the network: a network thread of the publisher's own runs libmosquitto's loop, which
// connects, sends and, after a failure, connects again after a pause that doubles from 1 s up to
// 30 s. (The thread of libmosquitto 2.0.11's mosquitto_loop_start did not try again after a
// first connection that failed, a broker not yet up; hence a loop of our own.)
//
// While the client is not connected, readings are dropped, not queued: a reading is of use while
// it is current, the log file is the record of a run, and a queue would grow without bound while
// the broker is away. The retained topics (status, switches, calibration) are published afresh
// from AcquisitionState at every connection, so a subscriber always finds the current ones.
class MqttPublisher : public QObject {
  Q_OBJECT
public:
  // Readings go out with QoS 0, the retained topics with QoS 1.
  static constexpr int readingQos = 0;
  static constexpr int retainedQos = 1;
  // Readings handed to libmosquitto and not yet written to the socket, at most; beyond it (a
  // broker that reads too slowly) new readings are dropped.
  static constexpr int maxUnsent = 500;

  // A publisher that publishes nothing and shows `reason`: the command line was unusable.
  MqttPublisher(const AcquisitionState &state, const QString &reason, QObject *parent = nullptr);
  // Starts connecting at once, without waiting for any part of it.
  MqttPublisher(const AcquisitionState &state, const MqttConfig &config, QObject *parent = nullptr);
  // Publishes "offline" on the status topic when connected, then disconnects.
  ~MqttPublisher() override;

  // A reading has been stored; publishes it on its topic, stamped with `time`.
  void readingStored(state::Quantity quantity, double value, const QDateTime &time);
  // A channel's switch changed.
  void switchChanged(state::Channel channel, bool on);
  // Publishes the probes' calibration when it differs from what was published last. Cheap
  // enough for every read tick.
  void checkCalibration();
  // Keeps `payload` as the retained message of `suffix` under the topic prefix: published now
  // when connected, and afresh at every connection. For the topics of other parts (alarms).
  void setRetained(const QString &suffix, const QByteArray &payload);

  ConnectionState connectionState() const { return m_connectionState; }
  // One line for the window and standard error, starting "MQTT: ".
  QString stateText() const { return m_stateText; }
  // Readings not published because the client was not connected or the broker was too slow.
  qint64 droppedReadings() const { return m_dropped; }

signals:
  void stateChanged(publish::ConnectionState state, const QString &text);

private:
  struct Calibration {
    double offset = 0;
    double slope = 0;
    QString serial;
    QDate date;
    bool operator==(const Calibration &) const = default;
  };

  void setState(ConnectionState state, const QString &text);
  void post(std::function<void()> work);
  void send(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
  void publishRetained();
  void publishCalibration(int probe, const Calibration &calibration);
  void giveUp(const QString &reason);
  Calibration calibration(int probe) const;
  QByteArray topic(const char *suffix) const;
  QString address() const;
  QString lastError();

  // libmosquitto's callbacks, on its network thread.
  static void onConnect(mosquitto *, void *self, int rc);
  static void onDisconnect(mosquitto *, void *self, int rc);
  static void onPublish(mosquitto *, void *self, int mid);
  static void onLog(mosquitto *, void *self, int level, const char *text);
  void networkLoop(QByteArray host);
  void stopNetwork();
  bool pause(int seconds);

  const AcquisitionState &m_state;
  MqttConfig m_config;
  mosquitto *m_mosq = nullptr;
  std::thread m_network;
  ConnectionState m_connectionState = ConnectionState::Off;
  QString m_stateText;
  std::vector<QByteArray> m_readingTopics; // in the order of the catalogue
  std::map<QString, QByteArray> m_otherRetained; // setRetained's, by topic suffix
  Calibration m_publishedCalibration[2];
  bool m_calibrationPublished = false;
  bool m_gaveUp = false;
  qint64 m_dropped = 0;

  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_stop{false};    // the network thread ends at once
  std::atomic<bool> m_closing{false}; // it ends once the last packets are out (at most 2 s)
  std::atomic<bool> m_delayReset{false};
  std::mutex m_pauseMutex;
  std::condition_variable m_pauseEnd;
  std::atomic<int> m_unsent{0};
  std::mutex m_errorMutex;
  QString m_lastError; // the newest error libmosquitto logged; guarded by m_errorMutex
};

} // namespace publish
