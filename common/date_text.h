#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

namespace common {

// The locale's short date form with a four-digit year (1/1/2001 under United States settings).
QString shortDate(const QDate &date, const QLocale &locale = QLocale());

// Reads a date as a person types it, or as shortDate wrote it under the same locale: three groups
// of digits (of any script) in the locale's day/month/year order, separated by and possibly
// framed with any non-digit characters. Two-digit years fall in 2000-2029 and 1930-1999, so
// "01/01/01" is 1 January 2001 in every locale. Anything else gives nullopt.
std::optional<QDate> parseTypedDate(const QString &text, const QLocale &locale = QLocale());

// The date a zero day number stands for: 30 December 1899.
inline QDate dayZero() { return QDate(1899, 12, 30); }

} // namespace common
