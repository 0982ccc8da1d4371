#include "logging/log_format.h"

#include "common/date_text.h"
#include "common/number_text.h"

#include <QRegularExpression>

namespace logging {
namespace {

const QString kVersion = QStringLiteral("2.4.1");

const QString kColumnLine = QStringLiteral(
    "Time, Therm1, Therm2, Therm3, pH-1 mV, pH-2 mV, pH-1 value, pH-2 value, Flow frequency, "
    "liters/min, Total Liters, Therm 1 offset, Therm 2 offset, Therm 3 offset, pH1 corr, pH2 corr");

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
  const auto number = [&](double value) { return common::generalNumber(value, locale); };
  const auto date = [&](const QDate &d) { return common::shortDate(d, locale); };
  QString out;
  out += logLine();
  out += logLine({textItem(QStringLiteral("Brellis DGH Contoller Logging Program"))});
  out += logLine({textItem(QStringLiteral("Version: ") + kVersion)});
  out += logLine();
  out += logLine({textItem(QStringLiteral("Date: ")), dateItem(today)});
  out += logLine({textItem(QStringLiteral("Probe 1 Offset: ") + number(state.probe1Offset))});
  out += logLine({textItem(QStringLiteral("Probe 2 Offset: ") + number(state.probe2Offset))});
  out += logLine({textItem(QStringLiteral("Probe 1 Slope: ") + number(state.probe1Slope))});
  out += logLine({textItem(QStringLiteral("Probe 2 Slope: ") + number(state.probe2Slope))});
  out += logLine({textItem(QStringLiteral("Probe 1 Serial Number: ") + state.probe1Serial)});
  out += logLine({textItem(QStringLiteral("Probe 2 Serial Number: ") + state.probe2Serial)});
  out +=
      logLine({textItem(QStringLiteral("Probe 1 Calibration Date: ") + date(state.probe1CalDate))});
  out +=
      logLine({textItem(QStringLiteral("Probe 2 Calibration Date: ") + date(state.probe2CalDate))});
  out += logLine();
  out += logLine({textItem(kColumnLine)});
  out += logLine();
  return out;
}

QString logRecordText(const AcquisitionState &state, const QString &litersText, const QTime &time,
                      const QLocale &locale) {
  using common::bareNumber;
  return logLine({
      textItem(logTimeText(time, locale)),
      bareNumber(state.therm1Temp),
      bareNumber(state.therm2Temp),
      bareNumber(state.therm3Temp),
      bareNumber(state.ph1mV),
      bareNumber(state.ph2mV),
      bareNumber(state.ph1Value),
      bareNumber(state.ph2Value),
      bareNumber(state.flowHz),
      bareNumber(state.litersPerMin),
      textItem(litersText),
      bareNumber(state.therm1Offset),
      bareNumber(state.therm2Offset),
      bareNumber(state.therm3Offset),
      bareNumber(state.ph1Corr),
      bareNumber(state.ph2Corr),
  });
}

} // namespace logging
