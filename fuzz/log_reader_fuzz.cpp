// The log file reader fed any bytes. Whatever they are, the reading ends, the runs partition the
// records in file order, every record belongs to a dated run and lies on its date or after it,
// and the damaged lines are no more than the lines seen. A reading that fails holds no runs and
// says why.

#include "fuzz/fuzz_check.h"
#include "logging/log_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const logging::LogFile log =
      logging::readLogBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

  FUZZ_CHECK(log.damagedLines >= 0 && log.damagedLines <= log.lines);
  FUZZ_CHECK((log.damagedLines == 0) == (log.firstDamagedLine == 0));
  FUZZ_CHECK(log.firstDamagedLine <= log.lines);
  if (!log.ok) {
    FUZZ_CHECK(!log.error.isEmpty());
    FUZZ_CHECK(log.runs.isEmpty() && log.records.empty());
    return 0;
  }
  FUZZ_CHECK(!log.runs.isEmpty());
  qsizetype next = 0;
  for (int i = 0; i < log.runs.size(); ++i) {
    const logging::LogRun &run = log.runs[i];
    FUZZ_CHECK(run.date.isValid());
    FUZZ_CHECK(run.firstRecord == next);
    FUZZ_CHECK(run.recordCount >= 0);
    FUZZ_CHECK(run.headerLine >= 1 && run.headerLine <= log.lines);
    next += run.recordCount;
    const qint64 dayStart = logging::wallSecondsOf(run.date, 0);
    for (qsizetype r = run.firstRecord; r < next; ++r) {
      const logging::LogRecord &record = log.records[size_t(r)];
      FUZZ_CHECK(record.run == i);
      FUZZ_CHECK(record.wallSeconds >= dayStart);
      // At most one day more per record than the one before.
      FUZZ_CHECK(record.wallSeconds < dayStart + (r - run.firstRecord + 1) * 86400);
      FUZZ_CHECK(logging::wallIsoText(record.wallSeconds).size() >= 19);
    }
    (void)logging::headerNumber(run.probe1Offset);
  }
  FUZZ_CHECK(next == qsizetype(log.records.size()));
  return 0;
}
