#pragma once

#include "calibration/calibration_history.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace calibration {

// The columns the history window lists and the CSV export writes, in order.
QStringList historyColumns();

// One record as those columns show it. "Changed" names each value that changed, old → new.
QStringList historyRow(const NumberedRecord &record);

// The records of `probe` (0: both), newest first.
std::vector<NumberedRecord> recordsNewestFirst(const HistoryReport &report, int probe);

// The rows as CSV: UTF-8, a header line, fields quoted where they hold a comma, quote or line
// break, lines ended by CRLF.
QByteArray historyCsv(const std::vector<NumberedRecord> &records);

} // namespace calibration
