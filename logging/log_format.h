#pragma once

#include "state/acquisition_state.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

// The log file's text: a header block per run and one record per log tick. Pure functions of
// their arguments (the date, the time of day and the regional settings are passed in), so the
// exact bytes can be checked. Every line is a list of items separated by one comma and ended by
// CR LF.
namespace logging {

// Turns operator-typed text into something that stays inside one quoted item: a double quote is
// doubled (as CSV readers expect) and each line break (CR LF, CR or LF) becomes one blank.
QString escapeLogText(const QString &text);

// A text item: the escaped text between double quotes.
QString textItem(const QString &text);

// A date item: #yyyy-mm-dd#, e.g. #2026-12-07#.
QString dateItem(const QDate &date);

// The items joined by single commas, then CR LF. No items gives the empty line "\r\n".
QString logLine(const QStringList &items = {});

// The time of day as hours (24-hour clock), minutes and seconds, two digits each, joined by the
// locale's time separator (":" when the locale's time form names none usable).
QString logTimeText(const QTime &time, const QLocale &locale);

// The 16 header lines of one run: the date of the run and the probe coefficients as they stand
// in `state`; offsets and slopes in the locale's general number form, calibration dates in its
// short date form.
QString logHeaderText(const AcquisitionState &state, const QDate &today, const QLocale &locale);

// One record line of 16 items in the order of the header's column line. `litersText` is the text
// the Total Liters display shows; every other reading is a bare number with "." as the decimal
// point whatever the locale.
QString logRecordText(const AcquisitionState &state, const QString &litersText, const QTime &time,
                      const QLocale &locale);

} // namespace logging
