#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace common {

// The general text form of a number, as displays, log header values and the settings store show
// it: the value rounded to 15 significant digits, plain decimal form, no trailing zeros, no digit
// grouping, a leading '-' for negatives, and the locale's decimal separator (7, 7.05, 2577.7, 0).
// Magnitudes of 1e15 and above, or below 1e-15, fall back to an exponent form ("1E+308").
// Infinity and NaN give "Inf" and "NaN": callers keep such values away from the operator.
QString generalNumber(double value, const QLocale &locale = QLocale());

// The same form with "." as the decimal separator whatever the regional settings (log records).
QString bareNumber(double value);

// Rounds to `places` decimal places, an exact half going to the even neighbour. "Exact half" is
// judged on the decimal digits of the value's shortest round-trip text, so 21.125 gives 21.12,
// 21.135 gives 21.14 and 0.125 gives 0.12. Values too large to carry decimals come back unchanged.
double roundHalfEven(double value, int places);

// Reads a number as a module sends it: "." as the decimal separator in every locale. Surrounding
// blanks, a sign and an exponent are allowed; any other text, a partial number, or a value that
// does not fit a finite double gives nullopt.
std::optional<double> parseModuleNumber(const QString &text);

// Reads a number as the operator types it: the same rules with the locale's decimal separator.
// "2." reads as 2; "", "-", "." and "2x" do not read.
std::optional<double> parseTypedNumber(const QString &text, const QLocale &locale = QLocale());

} // namespace common
