#include "publish/payloads.h"

#include "common/json_number.h"

#include <cstdio>

namespace publish {
namespace {

void appendNumberOrNull(QByteArray &out, double value) {
  if (!common::appendJsonNumber(out, value))
    out += "null";
}

} // namespace

const char *adjustedTopic(state::Quantity quantity) {
  switch (quantity) {
  case state::Quantity::Ph1:
    return "ph1/corrected";
  case state::Quantity::Ph2:
    return "ph2/corrected";
  case state::Quantity::Therm1:
    return "therm1/celsius_with_offset";
  case state::Quantity::Therm2:
    return "therm2/celsius_with_offset";
  case state::Quantity::Therm3:
    return "therm3/celsius_with_offset";
  default:
    return nullptr;
  }
}

void appendJsonString(QByteArray &out, const QString &text) {
  out += '"';
  for (const char c : text.toUtf8()) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

QByteArray readingPayload(double value, const char *unit, const QDateTime &timeUtc) {
  QByteArray payload = QByteArrayLiteral("{\"value\":");
  appendNumberOrNull(payload, value);
  payload += ",\"unit\":\"";
  payload += unit;
  payload += "\",\"time\":\"";
  payload += timeUtc.toString(Qt::ISODateWithMs).toLatin1();
  payload += "\"}";
  return payload;
}

QByteArray calibrationPayload(double offset, double slope, const QString &serial,
                              const QDate &date) {
  QByteArray payload = QByteArrayLiteral("{\"offset\":");
  appendNumberOrNull(payload, offset);
  payload += ",\"slope\":";
  appendNumberOrNull(payload, slope);
  payload += ",\"serial\":";
  appendJsonString(payload, serial);
  payload += ",\"date\":";
  appendJsonString(payload, date.toString(Qt::ISODate));
  payload += '}';
  return payload;
}

} // namespace publish
