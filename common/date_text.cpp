#include "common/date_text.h"

#include <QRegularExpression>

namespace common {
namespace {

QString fourDigitYearFormat(const QLocale &locale) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  static const QRegularExpression years(QStringLiteral("y+"));
  format.replace(years, QStringLiteral("yyyy"));
  // A form with month or day names would not read back as three numbers.
  if (format.contains(QLatin1String("MMM")) || format.contains(QLatin1String("ddd")))
    return QStringLiteral("yyyy-MM-dd");
  return format;
}

} // namespace

QString shortDate(const QDate &date, const QLocale &locale) {
  return locale.toString(date, fourDigitYearFormat(locale));
}

std::optional<QDate> parseTypedDate(const QString &text, const QLocale &locale) {
  // Any script's decimal digits count (a locale may write its own, with direction marks around
  // the separators); every other character only separates the three groups.
  QString ascii;
  ascii.reserve(text.size());
  for (const char32_t c : text.toUcs4()) {
    if (QChar::isDigit(c))
      ascii += QChar(u'0' + QChar::digitValue(c));
    else
      ascii += QStringView(QChar::fromUcs4(c));
  }
  static const QRegularExpression shape(
      QStringLiteral("^[^0-9]*([0-9]+)[^0-9]+([0-9]+)[^0-9]+([0-9]+)[^0-9]*$"));
  const QRegularExpressionMatch m = shape.match(ascii);
  if (!m.hasMatch())
    return std::nullopt;
  const QString groups[3] = {m.captured(1), m.captured(2), m.captured(3)};

  int dayAt = 0, monthAt = 1, yearAt = 2;
  if (groups[0].size() == 4) {
    // Year first, as in 2001-01-31.
    yearAt = 0;
    monthAt = 1;
    dayAt = 2;
  } else {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype mo = format.indexOf(QLatin1Char('M'));
    const qsizetype y = format.indexOf(QLatin1Char('y'));
    if (d >= 0 && mo >= 0 && y >= 0) {
      dayAt = (d > mo) + (d > y);
      monthAt = (mo > d) + (mo > y);
      yearAt = (y > d) + (y > mo);
    }
  }
  const QString yearText = groups[yearAt];
  if (yearText.size() == 3 || yearText.size() > 4 || groups[dayAt].size() > 2 ||
      groups[monthAt].size() > 2)
    return std::nullopt;
  int year = yearText.toInt();
  if (yearText.size() <= 2)
    year += year < 30 ? 2000 : 1900;
  const QDate date(year, groups[monthAt].toInt(), groups[dayAt].toInt());
  if (!date.isValid())
    return std::nullopt;
  return date;
}

} // namespace common
