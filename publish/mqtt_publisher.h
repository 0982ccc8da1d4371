#pragma once

#include "mqtt/client.h"
#include "publish/commands.h"
#include "publish/mqtt_config.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"
#include "state/reading.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace publish {

using ConnectionState = mqtt::State;

// Publishes the readings that the session stores (and, for pH and the thermistors, the value with
// the operator's correction or offset, as the window shows it), the channel switches and the
// probes' calibration to an MQTT broker, and with a discovery prefix announces them to Home
// Assistant. All its functions are for the user-interface thread and never wait for the network:
// an mqtt::Client connects, sends and retries on a thread of its own.
//
// At every connection the retained status "online" goes out first, before any reading; the
// switches, the calibration and the discovery configs follow. While the client is not connected,
// readings are dropped, not queued: a reading is of use while it is current, the log file is the
// record of a run, and a queue would grow without bound while the broker is away.
class MqttPublisher : public QObject {
  Q_OBJECT
public:
  // Readings go out with QoS 0, the retained topics with QoS 1.
  static constexpr int readingQos = 0;
  static constexpr int retainedQos = 1;
  // Readings queued and not yet written to the socket, at most; beyond it (a broker that reads
  // too slowly) new readings are dropped.
  static constexpr int maxUnsent = mqtt::Client::maxUnsent;

  // A publisher that publishes nothing and shows `reason`: the command line was unusable.
  MqttPublisher(const AcquisitionState &state, const QString &reason, QObject *parent = nullptr);
  // Starts connecting at once, without waiting for any part of it.
  MqttPublisher(const AcquisitionState &state, const MqttConfig &config, QObject *parent = nullptr);
  // Publishes "offline" on the status topic when connected, then disconnects.
  ~MqttPublisher() override;

  // A reading has been stored; publishes it on its topic, stamped with its time, and its
  // corrected value on a topic of its own where it has one.
  void readingStored(const state::Reading &reading);
  // A channel's switch changed.
  void switchChanged(state::Channel channel, bool on);
  // Publishes the probes' calibration when it differs from what was published last. Cheap
  // enough for every read tick.
  void checkCalibration();
  // Whether probe `probe`'s calibration is due, published retained from now on.
  void setCalibrationDue(int probe, bool due);
  // Keeps `payload` as the retained message of `suffix` under the topic prefix: published now
  // when connected, and afresh at every connection. For the topics of other parts (alarms).
  void setRetained(const QString &suffix, const QByteArray &payload);
  // One event of the run (started, port_lost, message, ...) on <prefix>/event, QoS 1, not
  // retained: {"event":"port_lost","detail":"/dev/ttyUSB0","user":"anna",
  // "time":"2026-12-09T03:12:45Z"}. While not connected the newest maxPendingEvents wait for the
  // next connection; the journals keep every one.
  static constexpr int maxPendingEvents = 100;
  void publishEvent(const QString &event, const QString &detail, const QString &user,
                    qint64 timeMs);

  ConnectionState connectionState() const { return m_connectionState; }
  // One line for the window and standard error, starting "MQTT: ".
  QString stateText() const { return m_stateText; }
  // Readings not published because the client was not connected or the broker was too slow.
  qint64 droppedReadings() const { return m_dropped; }

  // Commands from the broker refused (not a command, a retained one, too many a second).
  qint64 refusedCommands() const { return m_refusedCommands.load(); }
  // Commands are taken at most this many a second; the rest are refused and counted.
  static constexpr int maxCommandsPerSecond = 20;

signals:
  void stateChanged(publish::ConnectionState state, const QString &text);
  // With --mqtt-commands, a sound command received live, on the user-interface thread.
  void commandReceived(const publish::AlarmCommand &command);
  // One that is not acted on: its topic and why (also said on standard error).
  void commandRefused(const QString &topic, const QString &reason);

private:
  struct Calibration {
    double offset = 0;
    double slope = 0;
    QString serial;
    QDate date;
    bool operator==(const Calibration &) const = default;
  };

  void setState(ConnectionState state, const QString &text);
  void onClientState(mqtt::State state, const QString &reason, int retryIn);
  void publishRetained();
  void onMessage(const mqtt::Message &message); // the network thread's
  void takeCommand(const mqtt::Message &message);
  void refuseCommand(const QString &topic, const QString &reason);
  void publishDiscovery();
  void publishCalibration(int probe, const Calibration &calibration);
  void publishCalibrationDue(int probe);
  bool publishReading(const QByteArray &topic, double value, const char *unit,
                      const QDateTime &time);
  Calibration calibration(int probe) const;
  QByteArray topic(const char *suffix) const;

  const AcquisitionState &m_state;
  MqttConfig m_config;
  std::unique_ptr<mqtt::Client> m_client;
  ConnectionState m_connectionState = ConnectionState::Off;
  QString m_stateText;
  std::vector<QByteArray> m_readingTopics;  // in the order of the catalogue
  std::vector<QByteArray> m_correctedTopics; // the same; empty where a reading has none
  std::map<QString, QByteArray> m_otherRetained; // setRetained's, by topic suffix
  Calibration m_publishedCalibration[2];
  bool m_calibrationPublished = false;
  std::optional<bool> m_calibrationDue[2]; // unset until told
  qint64 m_dropped = 0;
  std::deque<QByteArray> m_pendingEvents;
  std::atomic<qint64> m_refusedCommands{0}; // the network thread counts a flood's excess
  // The network thread's own: the second its commands are counted in, and how many came in it.
  qint64 m_commandSecond = -1;
  int m_commandsThisSecond = 0;
};

} // namespace publish
