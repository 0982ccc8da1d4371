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
