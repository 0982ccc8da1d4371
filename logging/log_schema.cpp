#include "logging/log_schema.h"

#include "common/date_text.h"
#include "common/number_text.h"

namespace logging {
namespace {

QString number(double value, const QLocale &locale) { return common::generalNumber(value, locale); }

QString date(const QDate &value, const QLocale &locale) { return common::shortDate(value, locale); }

} // namespace

const std::array<ProbeFieldInfo, kProbeFieldCount> kProbeFields = {{
    {"Probe 1 Offset: ", "probe1_offset", &LogRun::probe1Offset, true,
     [](const AcquisitionState &s, const QLocale &l) { return number(s.probe1Offset, l); }},
    {"Probe 2 Offset: ", "probe2_offset", &LogRun::probe2Offset, true,
     [](const AcquisitionState &s, const QLocale &l) { return number(s.probe2Offset, l); }},
    {"Probe 1 Slope: ", "probe1_slope", &LogRun::probe1Slope, true,
     [](const AcquisitionState &s, const QLocale &l) { return number(s.probe1Slope, l); }},
    {"Probe 2 Slope: ", "probe2_slope", &LogRun::probe2Slope, true,
     [](const AcquisitionState &s, const QLocale &l) { return number(s.probe2Slope, l); }},
    {"Probe 1 Serial Number: ", "probe1_serial", &LogRun::probe1Serial, false,
     [](const AcquisitionState &s, const QLocale &) { return s.probe1Serial; }},
    {"Probe 2 Serial Number: ", "probe2_serial", &LogRun::probe2Serial, false,
     [](const AcquisitionState &s, const QLocale &) { return s.probe2Serial; }},
    {"Probe 1 Calibration Date: ", "probe1_cal_date", &LogRun::probe1CalDate, false,
     [](const AcquisitionState &s, const QLocale &l) { return date(s.probe1CalDate, l); }},
    {"Probe 2 Calibration Date: ", "probe2_cal_date", &LogRun::probe2CalDate, false,
     [](const AcquisitionState &s, const QLocale &l) { return date(s.probe2CalDate, l); }},
}};

const QString &logColumnLine() {
  static const QString line = [] {
    QString out = schemaText(kTimeTitle);
    for (const LogColumnInfo &c : kLogColumns)
      out += QStringLiteral(", ") + schemaText(c.title);
    return out;
  }();
  return line;
}

QString columnName(int column) {
  if (column < 0 || column >= LogColumnCount)
    return {};
  return schemaText(kLogColumns[size_t(column)].tidyName);
}

} // namespace logging
