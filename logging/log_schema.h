#pragma once

#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <string_view>

// What a log file holds, said once: the header block's fixed texts and labelled fields, the
// column line, and the record's columns in file order with their names in the tidy table. The
// writer, the reader, the export and the log window all take their texts and orders from here.
namespace logging {

// The header's title line; "Contoller" is spelled so in every log file ever written.
inline constexpr std::string_view kLogTitle = "Brellis DGH Contoller Logging Program";
inline constexpr std::string_view kLogVersion = "2.4.1";
inline constexpr std::string_view kVersionLabel = "Version: ";
inline constexpr std::string_view kDateLabel = "Date: ";
inline constexpr std::string_view kTimeTitle = "Time";

// The 15 readings of a record, in the order of the column line (Time, the first item, is kept
// apart).
enum LogColumn {
  Therm1,
  Therm2,
  Therm3,
  Ph1mV,
  Ph2mV,
  Ph1Value,
  Ph2Value,
  FlowHz,
  LitersPerMin,
  TotalLiters,
  Therm1Offset,
  Therm2Offset,
  Therm3Offset,
  Ph1Corr,
  Ph2Corr,
  LogColumnCount
};

struct LogColumnInfo {
  std::string_view title;    // in the column line, e.g. "pH-1 value"
  std::string_view tidyName; // in the tidy table, units included, e.g. "therm1_C"
  // The reading written as a bare number; null for the one text item (Total Liters, the text the
  // display shows).
  double AcquisitionState::*source;
  // The column holding the operator's correction or offset that is added where the reading is shown
  // (a thermistor's offset, a probe's correction); -1 for none. The file keeps them apart.
  int correction;
};

namespace detail {

// The column holding `field`, or -1.
constexpr int columnOfField(const std::array<LogColumnInfo, LogColumnCount> &columns,
                            double AcquisitionState::*field) {
  for (int c = 0; c < LogColumnCount; ++c)
    if (field && columns[size_t(c)].source == field)
      return c;
  return -1;
}

// The record's columns before their corrections are joined to them. Total Liters is the one that
// the file holds as the display's text rather than the stored number.
// clang-format off
inline constexpr std::array<LogColumnInfo, LogColumnCount> kPlainColumns = {{
    {"Therm1", "therm1_C", &AcquisitionState::therm1Temp, -1},
    {"Therm2", "therm2_C", &AcquisitionState::therm2Temp, -1},
    {"Therm3", "therm3_C", &AcquisitionState::therm3Temp, -1},
    {"pH-1 mV", "ph1_mV", &AcquisitionState::ph1mV, -1},
    {"pH-2 mV", "ph2_mV", &AcquisitionState::ph2mV, -1},
    {"pH-1 value", "ph1", &AcquisitionState::ph1Value, -1},
    {"pH-2 value", "ph2", &AcquisitionState::ph2Value, -1},
    {"Flow frequency", "flow_Hz", &AcquisitionState::flowHz, -1},
    {"liters/min", "flow_L_per_min", &AcquisitionState::litersPerMin, -1},
    {"Total Liters", "total_L", nullptr, -1},
    // The operator's corrections and offsets are no quantities of their own.
    {"Therm 1 offset", "therm1_offset_C", &AcquisitionState::therm1Offset, -1},
    {"Therm 2 offset", "therm2_offset_C", &AcquisitionState::therm2Offset, -1},
    {"Therm 3 offset", "therm3_offset_C", &AcquisitionState::therm3Offset, -1},
    {"pH1 corr", "ph1_corr", &AcquisitionState::ph1Corr, -1},
    {"pH2 corr", "ph2_corr", &AcquisitionState::ph2Corr, -1},
}};
// clang-format on

// Each reading's column names the column of the correction the catalogue gives its quantity.
constexpr std::array<LogColumnInfo, LogColumnCount> withAdjustments() {
  std::array<LogColumnInfo, LogColumnCount> columns = kPlainColumns;
  for (const state::QuantityInfo &q : state::quantities) {
    const int c = columnOfField(columns, q.field);
    if (c >= 0)
      columns[size_t(c)].correction = columnOfField(columns, q.correction);
  }
  return columns;
}

} // namespace detail

inline constexpr std::array<LogColumnInfo, LogColumnCount> kLogColumns = detail::withAdjustments();

// The column of a quantity's reading. Total Liters, written as its display's text, is the column
// after liters/min.
constexpr int logColumnOf(state::Quantity quantity) {
  if (quantity == state::Quantity::TotalLiters)
    return TotalLiters;
  return detail::columnOfField(kLogColumns, state::info(quantity).field);
}

// Every quantity has a column of its own.
constexpr bool everyQuantityHasAColumn() {
  for (const state::QuantityInfo &q : state::quantities)
    if (logColumnOf(q.quantity) < 0)
      return false;
  return kLogColumns[Ph1Value].correction == Ph1Corr &&
         kLogColumns[Therm3].correction == Therm3Offset;
}
static_assert(everyQuantityHasAColumn(), "a quantity has no column in the log record");

// A fixed text of the schema as a QString (all of them are ASCII).
inline QString schemaText(std::string_view text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// The column line's text: "Time, Therm1, ..., pH2 corr", the titles joined by a comma and a blank.
const QString &logColumnLine();

// The tidy table's name of a column ("therm1_C" ... "ph2_corr"); empty outside the columns.
QString columnName(int column);

// One run's header block. Texts are as the file holds them, without the labels.
struct LogRun {
  qint64 headerLine = 0; // 1-based line number of the title line
  QString version;
  QDate date;           // the "Date: " line
  QString probe1Offset; // in the regional form of the run, e.g. "2,5777"
  QString probe2Offset;
  QString probe1Slope;
  QString probe2Slope;
  QString probe1Serial;
  QString probe2Serial;
  QString probe1CalDate; // the regional short date form of the run, e.g. "1/1/2001"
  QString probe2CalDate;
  qsizetype firstRecord = 0; // index into LogFile::records
  qsizetype recordCount = 0;
};

// The labelled probe lines that follow the date line, in file order.
struct ProbeFieldInfo {
  std::string_view label;    // e.g. "Probe 1 Offset: "
  std::string_view tidyName; // the runs table's column, e.g. "probe1_offset"
  QString LogRun::*member;   // where a reading keeps the text
  bool number;               // an offset or slope: the regional general number form
  // The text the writer puts after the label, from the probe coefficients held now.
  QString (*text)(const AcquisitionState &state, const QLocale &locale);
};

inline constexpr int kProbeFieldCount = 8;
extern const std::array<ProbeFieldInfo, kProbeFieldCount> kProbeFields;

} // namespace logging
