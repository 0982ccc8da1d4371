#include "logging/log_format.h"

#include "common/number_text.h"
#include "logging/log_schema.h"

#include <QRegularExpression>

namespace logging {
namespace {

// The characters between the hours and the minutes of the locale's time form, without quoting.
QString timeSeparator(const QLocale &locale) {
  const QString format = locale.timeFormat(QLocale::ShortFormat);
  qsizetype i = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
  if (i < 0)
    return QStringLiteral(":");
  while (i < format.size() && (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
    ++i;
  const qsizetype minutes = format.indexOf(QLatin1Char('m'), i);
  if (minutes < 0)
    return QStringLiteral(":");
  const QString between = format.mid(i, minutes - i);
  // A quoted word such as " 'h' " is no separator a reader can split on.
  if (between.isEmpty() || between.contains(QLatin1Char('\'')) ||
      between.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
    return QStringLiteral(":");
  return between;
}

} // namespace

QString escapeLogText(const QString &text) {
  static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
  QString out = text;
  out.replace(lineBreak, QStringLiteral(" "));
  out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return out;
}

QString textItem(const QString &text) {
  return QLatin1Char('"') + escapeLogText(text) + QLatin1Char('"');
}

QString dateItem(const QDate &date) {
  return QString::asprintf("#%04d-%02d-%02d#", date.year(), date.month(), date.day());
}

QString logLine(const QStringList &items) {
  return items.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString logTimeText(const QTime &time, const QLocale &locale) {
  const QString sep = timeSeparator(locale);
  return QString::asprintf("%02d", time.hour()) + sep + QString::asprintf("%02d", time.minute()) +
         sep + QString::asprintf("%02d", time.second());
}

QString logHeaderText(const AcquisitionState &state, const QDate &today, const QLocale &locale) {
  QString out;
  out += logLine();
  out += logLine({textItem(schemaText(kLogTitle))});
  out += logLine({textItem(schemaText(kVersionLabel) + schemaText(kLogVersion))});
  out += logLine();
  out += logLine({textItem(schemaText(kDateLabel)), dateItem(today)});
  for (const ProbeFieldInfo &field : kProbeFields)
    out += logLine({textItem(schemaText(field.label) + field.text(state, locale))});
  out += logLine();
  out += logLine({textItem(logColumnLine())});
  out += logLine();
  return out;
}

QString logRecordText(const AcquisitionState &state, const QString &litersText, const QTime &time,
                      const QLocale &locale) {
  QStringList items;
  items.reserve(1 + LogColumnCount);
  items << textItem(logTimeText(time, locale));
  for (const LogColumnInfo &column : kLogColumns)
    items << (column.source ? common::bareNumber(state.*column.source) : textItem(litersText));
  return logLine(items);
}

} // namespace logging
