#include "calibration/calibration_record.h"

#include "common/login_name.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace calibration {
namespace {

QJsonObject valuesToJson(const ProbeValues &values) {
  return {{QStringLiteral("offset"), values.offset},
          {QStringLiteral("slope"), values.slope},
          {QStringLiteral("serial"), values.serialNumber},
          {QStringLiteral("date"), values.date.toString(Qt::ISODate)}};
}

std::optional<ProbeValues> valuesFromJson(const QJsonValue &value) {
  const QJsonObject o = value.toObject();
  const QJsonValue offset = o.value(QStringLiteral("offset"));
  const QJsonValue slope = o.value(QStringLiteral("slope"));
  const QJsonValue serial = o.value(QStringLiteral("serial"));
  const QDate date = QDate::fromString(o.value(QStringLiteral("date")).toString(), Qt::ISODate);
  if (!offset.isDouble() || !slope.isDouble() || !serial.isString() || !date.isValid())
    return std::nullopt;
  return ProbeValues{offset.toDouble(), slope.toDouble(), serial.toString(), date};
}

QJsonArray buffersToJson(const std::vector<MeasuredBuffer> &buffers) {
  QJsonArray array;
  for (const MeasuredBuffer &b : buffers)
    array.append(QJsonObject{{QStringLiteral("ph"), b.ph},
                             {QStringLiteral("celsius"), b.celsius},
                             {QStringLiteral("millivolts"), b.millivolts},
                             {QStringLiteral("stable"), b.stable}});
  return array;
}

std::optional<std::vector<MeasuredBuffer>> buffersFromJson(const QJsonValue &value) {
  if (!value.isArray())
    return std::nullopt;
  std::vector<MeasuredBuffer> buffers;
  for (const QJsonValue &each : value.toArray()) {
    const QJsonObject o = each.toObject();
    const QJsonValue ph = o.value(QStringLiteral("ph"));
    const QJsonValue celsius = o.value(QStringLiteral("celsius"));
    const QJsonValue mv = o.value(QStringLiteral("millivolts"));
    const QJsonValue stable = o.value(QStringLiteral("stable"));
    if (!ph.isDouble() || !celsius.isDouble() || !mv.isDouble() || !stable.isBool())
      return std::nullopt;
    buffers.push_back({ph.toDouble(), celsius.toDouble(), mv.toDouble(), stable.toBool()});
  }
  return buffers;
}

} // namespace

QJsonObject toJson(const CalibrationRecord &r) {
  QJsonObject o{{QStringLiteral("time"), r.time.toUTC().toString(Qt::ISODate)},
                {QStringLiteral("user"), r.user},
                {QStringLiteral("host"), r.host},
                {QStringLiteral("probe"), r.probe},
                {QStringLiteral("serial"), r.after.serialNumber},
                {QStringLiteral("old"), valuesToJson(r.before)},
                {QStringLiteral("new"), valuesToJson(r.after)},
                {QStringLiteral("source"), r.source()},
                {QStringLiteral("reason"), r.reason},
                {QStringLiteral("prev"), r.previousHash}};
  if (!r.buffers.empty()) {
    o.insert(QStringLiteral("buffers"), buffersToJson(r.buffers));
    o.insert(QStringLiteral("worst_residual_ph"), r.worstResidualPh);
    o.insert(QStringLiteral("temperature_source"), r.temperatureSource);
  }
  if (!r.overridden.isEmpty())
    o.insert(QStringLiteral("overridden"), r.overridden);
  if (!r.followsDamage.isEmpty())
    o.insert(QStringLiteral("follows_damaged_history"), r.followsDamage);
  if (!r.hash.isEmpty())
    o.insert(QStringLiteral("hash"), r.hash);
  return o;
}

std::optional<CalibrationRecord> recordFromJson(const QJsonObject &o) {
  CalibrationRecord r;
  r.time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate);
  const QJsonValue probe = o.value(QStringLiteral("probe"));
  const auto before = valuesFromJson(o.value(QStringLiteral("old")));
  const auto after = valuesFromJson(o.value(QStringLiteral("new")));
  const QString source = o.value(QStringLiteral("source")).toString();
  if (!r.time.isValid() || !probe.isDouble() || !before || !after ||
      !o.value(QStringLiteral("prev")).isString() || !o.value(QStringLiteral("hash")).isString())
    return std::nullopt;
  r.probe = probe.toInt();
  r.before = *before;
  r.after = *after;
  r.user = o.value(QStringLiteral("user")).toString();
  r.host = o.value(QStringLiteral("host")).toString();
  r.reason = o.value(QStringLiteral("reason")).toString();
  r.overridden = o.value(QStringLiteral("overridden")).toString();
  r.followsDamage = o.value(QStringLiteral("follows_damaged_history")).toString();
  r.previousHash = o.value(QStringLiteral("prev")).toString();
  r.hash = o.value(QStringLiteral("hash")).toString();
  if (source == QLatin1String("buffers")) {
    const auto buffers = buffersFromJson(o.value(QStringLiteral("buffers")));
    if (!buffers || buffers->empty())
      return std::nullopt;
    r.buffers = *buffers;
    r.worstResidualPh = o.value(QStringLiteral("worst_residual_ph")).toDouble();
    r.temperatureSource = o.value(QStringLiteral("temperature_source")).toString();
  } else if (source != QLatin1String("typed")) {
    return std::nullopt;
  }
  return r;
}

QString recordHash(QJsonObject object) {
  object.remove(QStringLiteral("hash"));
  const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString loginName() {
  const QString user = common::loginName();
  return user.isEmpty() ? QStringLiteral("unknown") : user;
}

} // namespace calibration
