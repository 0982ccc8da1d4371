#pragma once

#include "logging/log_schema.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QIODevice;

// Reads log files as the writer makes them: one or many runs, each a header block and its
// records. Pure Qt Core: no widgets, no settings, no global state, so the log window, the
// command line and the tests share one reading.
namespace logging {

struct LogRecord {
  // Wall-clock seconds since 1970-01-01 00:00:00 as the file states them (the run's date plus
  // the record's time of day), with no time zone applied: 00:00:00 on 1 January 1970 is 0.
  qint64 wallSeconds = 0;
  int run = 0; // index into LogFile::runs
  // NaN where the file has no value: a Total Liters of "" or "000" (no total shown yet).
  std::array<double, LogColumnCount> values{};
};

// Offsets and slopes as numbers: the decimal separator may be "." or ",". NaN if unreadable.
double headerNumber(const QString &text);

// The wall-clock seconds of a date and time of day, and back.
qint64 wallSecondsOf(const QDate &date, int secondsOfDay);
QDate wallDate(qint64 wallSeconds);
int wallSecondsOfDay(qint64 wallSeconds);
// "yyyy-MM-ddThh:mm:ss", ISO 8601 local date and time without a zone.
QString wallIsoText(qint64 wallSeconds);

// Receives what the reader finds, in file order: a run's header before its records.
class LogSink {
public:
  virtual ~LogSink() = default;
  virtual void run(const LogRun &run) = 0;
  // false stops the reading (the sink could not take the record); errorText() says why.
  virtual bool record(const LogRecord &record) = 0;
  virtual QString errorText() const { return {}; }
};

// What a whole reading found besides the runs and records.
struct LogReadSummary {
  bool ok = false;  // false: nothing usable, or the reading was stopped; see error
  QString error;    // a sentence for the operator, naming the cause
  qint64 lines = 0; // lines seen
  qint64 damagedLines = 0;
  qint64 firstDamagedLine = 0; // 1-based, 0 when none
  bool cancelled = false;
};

// Called now and then with the bytes read so far and the total (-1 when unknown); returning
// false cancels the reading.
using LogProgress = std::function<bool(qint64 done, qint64 total)>;

// Reads the device from its current position to the end. Lines end in LF or CR LF. A line that
// is neither a header line nor a complete record of a dated run is counted as damaged and
// skipped; so is a header left incomplete, and a line longer than any the writer makes. A
// device with no header block in its first megabyte is no log file: ok is false.
LogReadSummary readLog(QIODevice &device, LogSink &sink, const LogProgress &progress = {});

// A whole log file held in memory, for the log window and the tests.
struct LogFile : LogReadSummary {
  QList<LogRun> runs;
  std::vector<LogRecord> records;
  // Set when only an overview of the file is held (readLogOverview): all the file's records, and
  // each run's; -1 and empty when `records` are all of them.
  qint64 recordsInFile = -1;
  std::vector<qint64> runRecordsInFile;
  bool overview() const { return recordsInFile >= 0; }
  qint64 recordCount() const { return overview() ? recordsInFile : qint64(records.size()); }
  qint64 runRecordCount(int run) const {
    return overview() ? runRecordsInFile[size_t(run)] : qint64(runs[run].recordCount);
  }
};

// The largest file readLogFile holds in memory (about 4 weeks of records a second).
inline constexpr qint64 kMaxLogFileBytes = 256LL * 1024 * 1024;

// Reads a file into memory. Files that cannot be opened or are larger than kMaxLogFileBytes
// give ok false and a message naming the file.
LogFile readLogFile(const QString &path, const LogProgress &progress = {});
LogFile readLogBytes(const QByteArray &bytes);

} // namespace logging
