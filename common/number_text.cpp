#include "common/number_text.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace common {
namespace {

// A finite, non-zero value as its decimal digits d0 d1 d2 ... (no leading or trailing zeros)
// and the power of ten of d0.
struct Digits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Digits splitScientific(const char *text) {
  // text is "[-]d[.ddd]e[+-]xx"
  Digits d;
  const char *p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; *p && *p != 'e' && *p != 'E'; ++p) {
    if (*p >= '0' && *p <= '9')
      d.digits.push_back(*p);
  }
  if (*p == 'e' || *p == 'E')
    d.exponent = std::atoi(p + 1);
  while (d.digits.size() > 1 && d.digits.back() == '0')
    d.digits.pop_back();
  return d;
}

// 15 significant digits, rounded by the C library from the exact binary value.
Digits fifteenDigits(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  return splitScientific(buf);
}

// The shortest digits that read back to the same double.
Digits shortestDigits(double value) {
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific);
  *res.ptr = '\0';
  return splitScientific(buf);
}

QString plainText(const Digits &d, const QString &decimalPoint) {
  const int n = static_cast<int>(d.digits.size());
  QString out;
  if (d.negative)
    out += QLatin1Char('-');
  if (d.exponent >= 0) {
    const int intLen = d.exponent + 1;
    for (int i = 0; i < intLen; ++i)
      out += QLatin1Char(i < n ? d.digits[i] : '0');
    if (n > intLen) {
      out += decimalPoint;
      out += QString::fromLatin1(d.digits.data() + intLen, n - intLen);
    }
  } else {
    out += QLatin1Char('0');
    out += decimalPoint;
    out += QString(-d.exponent - 1, QLatin1Char('0'));
    out += QString::fromLatin1(d.digits.data(), n);
  }
  return out;
}

QString exponentText(const Digits &d, const QString &decimalPoint) {
  QString out;
  if (d.negative)
    out += QLatin1Char('-');
  out += QLatin1Char(d.digits[0]);
  if (d.digits.size() > 1) {
    out += decimalPoint;
    out += QString::fromLatin1(d.digits.data() + 1, static_cast<int>(d.digits.size()) - 1);
  }
  out += QLatin1Char('E');
  out += d.exponent < 0 ? QLatin1Char('-') : QLatin1Char('+');
  out += QString::number(std::abs(d.exponent)).rightJustified(2, QLatin1Char('0'));
  return out;
}

} // namespace

QString generalNumber(double value, const QLocale &locale) {
  if (std::isnan(value))
    return QStringLiteral("NaN");
  if (std::isinf(value))
    return value < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");
  if (value == 0.0)
    return QStringLiteral("0");
  const Digits d = fifteenDigits(value);
  const QString point = locale.decimalPoint();
  if (d.exponent >= 15 || d.exponent < -15)
    return exponentText(d, point);
  return plainText(d, point);
}

QString bareNumber(double value) { return generalNumber(value, QLocale::c()); }

double roundHalfEven(double value, int places) {
  if (!std::isfinite(value) || value == 0.0)
    return value;
  Digits d = shortestDigits(value);
  int keep = d.exponent + places; // index of the last digit kept
  if (keep >= static_cast<int>(d.digits.size()) - 1)
    return value; // nothing beyond the wanted places
  if (keep < -1)
    return d.negative ? -0.0 : 0.0;
  if (keep == -1) {
    // Every digit is dropped; a leading zero stands for the kept place.
    d.digits.insert(d.digits.begin(), '0');
    d.exponent += 1;
    keep = 0;
  }
  std::string kept = d.digits.substr(0, keep + 1);
  const std::string dropped = d.digits.substr(keep + 1);
  bool up = false;
  if (dropped[0] > '5') {
    up = true;
  } else if (dropped[0] == '5') {
    const bool exactHalf = dropped.find_first_not_of('0', 1) == std::string::npos;
    up = !exactHalf || ((kept.back() - '0') % 2 == 1);
  }
  int exponent = d.exponent;
  if (up) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') {
      kept[i] = '0';
      --i;
    }
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
      exponent += 1;
    }
  }
  std::string text = d.negative ? "-" : "";
  text += kept.substr(0, 1) + "." + (kept.size() > 1 ? kept.substr(1) : "0") + "e" +
          std::to_string(exponent);
  double result = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

std::optional<double> parseModuleNumber(const QString &text) {
  static const QRegularExpression pattern(
      QStringLiteral("^\\s*([+-]?)([0-9]*)(?:\\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?\\s*$"));
  const QRegularExpressionMatch m = pattern.match(text);
  if (!m.hasMatch())
    return std::nullopt;
  const QString intPart = m.captured(2);
  const QString fracPart = m.captured(3);
  if (intPart.isEmpty() && fracPart.isEmpty())
    return std::nullopt; // "", "-", ".", "e5"
  const QString expPart = m.captured(4);
  std::string canonical = m.captured(1) == QLatin1String("-") ? "-" : "";
  canonical += intPart.isEmpty() ? std::string("0") : intPart.toStdString();
  canonical += ".";
  canonical += fracPart.isEmpty() ? std::string("0") : fracPart.toStdString();
  if (!expPart.isEmpty()) {
    canonical += "e";
    canonical += expPart.toStdString();
  }
  double value = 0.0;
  const auto res = std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large is not a number we can hold.
    const bool tiny = !expPart.isEmpty() && expPart.startsWith(QLatin1Char('-'));
    if (!tiny)
      return std::nullopt;
    return canonical[0] == '-' ? -0.0 : 0.0;
  }
  if (res.ec != std::errc() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<double> parseTypedNumber(const QString &text, const QLocale &locale) {
  const QString point = locale.decimalPoint();
  if (point == QLatin1String("."))
    return parseModuleNumber(text);
  if (text.contains(QLatin1Char('.')))
    return std::nullopt; // a "." is not this locale's separator
  QString normalised = text;
  normalised.replace(point, QStringLiteral("."));
  return parseModuleNumber(normalised);
}

} // namespace common
