// The retained "<prefix>/phN/calibration_due" topics: "true" while the probe's calibration is due.
#include "publish/mqtt_publisher.h"

#include "mqtt/client.h"
#include "publish/topics.h"

namespace publish {

void MqttPublisher::setCalibrationDue(int probe, bool due) {
  if (probe != 1 && probe != 2)
    return;
  m_calibrationDue[probe - 1] = due;
  if (m_client && m_client->isConnected()) // else published afresh at the next connection
    publishCalibrationDue(probe);
}

void MqttPublisher::publishCalibrationDue(int probe) {
  const std::optional<bool> due = m_calibrationDue[probe - 1];
  if (due)
    m_client->publish(topic(topics::ofProbe(probe).calibrationDue),
                      *due ? "true" : "false", retainedQos, true);
}

} // namespace publish
