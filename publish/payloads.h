#pragma once

#include "state/quantities.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

namespace publish {

// {"value":7.1,"unit":"pH","time":"2026-12-09T03:12:45.123Z"}; a value that is not finite is null.
QByteArray readingPayload(double value, const char *unit, const QDateTime &timeUtc);
// {"offset":2.5777,"slope":4.5427,"serial":"PX-1","date":"2026-12-01"}
QByteArray calibrationPayload(double offset, double slope, const QString &serial,
                              const QDate &date);
// A JSON string: quotes, backslashes and control characters escaped.
void appendJsonString(QByteArray &out, const QString &text);

} // namespace publish
