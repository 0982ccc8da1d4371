#pragma once

#include "logging/log_reader.h"

#include <QString>

#include <optional>

// Which records of a log an export or a report takes: all, one run's, or those within a span of
// time. Pure Qt Core.
namespace logging {

struct LogSelection {
  int run = -1;                   // index into the runs, -1 for every run
  std::optional<qint64> fromWall; // wall-clock seconds (see LogRecord), both ends included
  std::optional<qint64> toWall;

  bool everything() const { return run < 0 && !fromWall && !toWall; }
  bool takes(const LogRecord &record) const {
    return (run < 0 || record.run == run) && (!fromWall || record.wallSeconds >= *fromWall) &&
           (!toWall || record.wallSeconds <= *toWall);
  }
};

// Local date and time in ISO 8601 without a zone ("2026-12-09T10:00:00", "2026-12-09T10:00",
// "2026-12-09 10:00:00", or a date alone for its midnight) as wall-clock seconds; nullopt when
// it does not read as one.
std::optional<qint64> wallSecondsFromIso(const QString &text);

// Passes on every run and only the records the selection takes.
class SelectedRecords : public LogSink {
public:
  SelectedRecords(LogSink &inner, LogSelection selection)
      : m_inner(inner), m_selection(selection) {}
  void run(const LogRun &run) override { m_inner.run(run); }
  bool record(const LogRecord &record) override {
    if (!m_selection.takes(record))
      return true;
    ++m_taken;
    return m_inner.record(record);
  }
  QString errorText() const override { return m_inner.errorText(); }
  qint64 taken() const { return m_taken; }

private:
  LogSink &m_inner;
  LogSelection m_selection;
  qint64 m_taken = 0;
};

} // namespace logging
