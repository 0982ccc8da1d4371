#pragma once

#include "logging/log_reader.h"

// An overview of a log too long to hold: read as it goes, it keeps of each bucket of consecutive
// records of a run the first and the last one and those holding the lowest and the highest value of each
// charted reading (temperatures with their offsets, pH with its correction, flow, total), so a
// chart drawn from it loses no spike. Pure Qt Core.
namespace logging {

// About `keep` records are kept at most, whatever the file's length (a bucket is the file's
// estimated records over keep / 16). The runs' firstRecord and recordCount index the kept
// records; recordsInFile and runRecordsInFile count the file's.
LogFile readLogOverview(const QString &path, qint64 keep, const LogProgress &progress = {});

} // namespace logging
