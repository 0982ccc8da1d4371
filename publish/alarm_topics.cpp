#include "publish/alarm_topics.h"

#include "publish/mqtt_publisher.h"
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
    payload += '"' +
               QDateTime::fromMSecsSinceEpoch(status.sinceMs, Qt::UTC).toString(Qt::ISODate).toLatin1() +
               '"';
  else
    payload += "null";
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
  QObject::connect(&monitor, &alarms::AlarmMonitor::countsChanged, &publisher,
                   [&publisher](int active, int) {
                     publisher.setRetained(QLatin1String(topics::alarmsActive),
                                           QByteArray::number(active));
                   });
}

} // namespace publish
