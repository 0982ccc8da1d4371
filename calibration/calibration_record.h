#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace calibration {

// One probe's values as the settings store holds them.
struct ProbeValues {
  double offset = 0; // volts
  double slope = 0;  // gain
  QString serialNumber;
  QDate date;

  bool operator==(const ProbeValues &) const = default;
};

// A buffer a calibration was fitted from, as it was measured.
struct MeasuredBuffer {
  double ph = 0;
  double celsius = 0;
  double millivolts = 0;
  bool stable = false;
};

// One write of a probe's values to the settings store, as the calibration history keeps it.
struct CalibrationRecord {
  QDateTime time; // UTC, whole seconds
  QString user;   // login name
  QString host;
  int probe = 1;
  ProbeValues before;
  ProbeValues after;
  // Empty for values typed by hand; else the buffers the values were fitted from.
  std::vector<MeasuredBuffer> buffers;
  double worstResidualPh = 0; // of the fit, meaningful with buffers
  QString temperatureSource;  // where the buffers' temperature came from, with buffers
  QString reason;             // what the operator typed beside "Save", may be empty
  QString overridden;         // a limit the operator chose to pass, may be empty
  // Set on the first record of a chain segment that follows a damaged history: what was found.
  QString followsDamage;
  QString previousHash; // hex SHA-256 of the record before in the chain, empty for none
  QString hash;         // hex SHA-256 of this record without this field

  QString source() const {
    return buffers.empty() ? QStringLiteral("typed") : QStringLiteral("buffers");
  }
};

// The record as one JSON object, "hash" included when set.
QJsonObject toJson(const CalibrationRecord &record);

// The record an object describes, or nullopt when a field is missing or of the wrong type.
std::optional<CalibrationRecord> recordFromJson(const QJsonObject &object);

// The hex SHA-256 of the object's compact JSON form without its "hash" member.
QString recordHash(QJsonObject object);

// The login name of the user running the program, "unknown" when the environment has none.
QString loginName();

} // namespace calibration
