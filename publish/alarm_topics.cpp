#include "publish/alarm_topics.h"

#include "publish/mqtt_publisher.h"
#include "publish/payloads.h"
#include "publish/topics.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace publish {
namespace {

QByteArray jsonNumber(double value) {
  return std::isfinite(value) ? QByteArray::number(value, 'g', QLocale::FloatingPointShortest)
                              : QByteArrayLiteral("null");
}

void publishAlarm(MqttPublisher &publisher, const alarms::AlarmMonitor &monitor,
                  alarms::Alarm alarm) {
  publisher.setRetained(QLatin1String(topics::alarmPrefix) + alarms::key(alarm),
                        alarmPayload(monitor.engine().status(alarm)));
}

} // namespace

QByteArray alarmPayload(const alarms::AlarmStatus &status) {
  const bool seen = status.condition != alarms::Condition::None;
  QByteArray payload = "{\"state\":\"" + alarms::stateKey(status.state).toLatin1() + "\"";
  payload += ",\"condition\":";
  payload += seen ? '"' + alarms::conditionKey(status.condition).toLatin1() + '"'
                  : QByteArrayLiteral("null");
  payload += ",\"value\":" + jsonNumber(seen ? status.value : NAN);
  payload += ",\"limit\":" + jsonNumber(seen ? status.limit : NAN);
  payload += ",\"since\":";
  if (status.sinceMs > 0)
    payload +=
        '"' +
        QDateTime::fromMSecsSinceEpoch(status.sinceMs).toUTC().toString(Qt::ISODate).toLatin1() +
        '"';
  else
    payload += "null";
  return payload + '}';
}

QByteArray heartbeatPayload(const alarms::HeartbeatSummary &summary) {
  const auto utc = [](qint64 ms) {
    return '"' + QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODate).toLatin1() + '"';
  };
  QByteArray payload = "{\"time\":" + utc(summary.timeMs) +
                       ",\"active_alarms\":" + QByteArray::number(summary.activeAlarms) +
                       ",\"channels_on\":[";
  for (qsizetype k = 0; k < summary.channelsOn.size(); ++k) {
    if (k > 0)
      payload += ',';
    appendJsonString(payload, summary.channelsOn[k]);
  }
  payload += "],\"log_file\":";
  appendJsonString(payload, summary.logFile);
  payload += ",\"last_record\":";
  payload += summary.lastRecordMs > 0 ? utc(summary.lastRecordMs) : QByteArrayLiteral("null");
  return payload + '}';
}

void publishAlarms(MqttPublisher &publisher, alarms::AlarmMonitor &monitor) {
  for (const alarms::Alarm alarm : alarms::allAlarms)
    publishAlarm(publisher, monitor, alarm);
  publisher.setRetained(QLatin1String(topics::alarmsActive),
                        QByteArray::number(monitor.engine().activeCount()));
  QObject::connect(&monitor, &alarms::AlarmMonitor::alarmEvent, &publisher,
                   [&publisher, &monitor](const alarms::AlarmEvent &event) {
                     publishAlarm(publisher, monitor, event.alarm);
                   });
  QObject::connect(&monitor, &alarms::AlarmMonitor::heartbeat, &publisher,
                   [&publisher](const alarms::HeartbeatSummary &summary) {
                     publisher.setRetained(QLatin1String(topics::heartbeat), heartbeatPayload(summary));
                   });
  QObject::connect(&monitor, &alarms::AlarmMonitor::countsChanged, &publisher,
                   [&publisher](int active, int) {
                     publisher.setRetained(QLatin1String(topics::alarmsActive),
                                           QByteArray::number(active));
                   });
}

} // namespace publish
