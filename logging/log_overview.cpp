#include "logging/log_overview.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cmath>

namespace logging {
namespace {

// The readings a chart draws, each as shown with its correction or offset added.
constexpr std::array<LogColumn, 7> kCharted = {Therm1, Therm2, Therm3, Ph1Value,
                                               Ph2Value, LitersPerMin, TotalLiters};

double shown(const LogRecord &r, LogColumn c) {
  const int correction = kLogColumns[c].correction;
  return correction >= 0 ? r.values[c] + r.values[size_t(correction)] : r.values[c];
}

class OverviewSink : public LogSink {
public:
  OverviewSink(LogFile &file, qint64 bucket) : m_file(file), m_bucket(std::max<qint64>(1, bucket)) {}
  void run(const LogRun &run) override {
    flush();
    m_file.runs.append(run);
    m_file.runs.last().firstRecord = qsizetype(m_file.records.size());
    m_file.runs.last().recordCount = 0;
    m_file.runRecordsInFile.push_back(0);
  }
  bool record(const LogRecord &r) override {
    ++m_file.runRecordsInFile.back();
    ++m_file.recordsInFile;
    if (m_inBucket == 0)
      m_kept.assign(1, {m_order, r});
    for (size_t k = 0; k < kCharted.size(); ++k) {
      const double v = shown(r, kCharted[k]);
      if (!std::isfinite(v))
        continue;
      if (!m_has[k] || v < shown(m_low[k].second, kCharted[k]))
        m_low[k] = {m_order, r};
      if (!m_has[k] || v > shown(m_high[k].second, kCharted[k]))
        m_high[k] = {m_order, r};
      m_has[k] = true;
    }
    m_last = {m_order, r};
    ++m_order;
    if (++m_inBucket == m_bucket)
      flush();
    return true;
  }
  // The bucket's kept records, each once, in file order.
  void flush() {
    if (m_inBucket == 0)
      return;
    m_kept.push_back(m_last);
    for (size_t k = 0; k < kCharted.size(); ++k)
      if (m_has[k])
        m_kept.insert(m_kept.end(), {m_low[k], m_high[k]});
    std::sort(m_kept.begin(), m_kept.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 0; i < m_kept.size(); ++i)
      if (i == 0 || m_kept[i].first != m_kept[i - 1].first)
        m_file.records.push_back(m_kept[i].second);
    m_file.runs.last().recordCount =
        qsizetype(m_file.records.size()) - m_file.runs.last().firstRecord;
    m_inBucket = 0;
    m_has.fill(false);
  }

private:
  LogFile &m_file;
  qint64 m_bucket;
  qint64 m_inBucket = 0;
  qint64 m_order = 0;
  std::vector<std::pair<qint64, LogRecord>> m_kept;
  std::pair<qint64, LogRecord> m_last;
  std::array<std::pair<qint64, LogRecord>, kCharted.size()> m_low{}, m_high{};
  std::array<bool, kCharted.size()> m_has{};
};

} // namespace

LogFile readLogOverview(const QString &path, qint64 keep, const LogProgress &progress) {
  LogFile file;
  file.recordsInFile = 0;
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) {
    file.error = QStringLiteral("Cannot open %1: %2").arg(path, in.errorString());
    return file;
  }
  // A record takes about 90 bytes in the file; a bucket keeps at most 16 of its records.
  const qint64 estimated = in.size() / 90 + 1;
  OverviewSink sink(file, estimated * 16 / std::max<qint64>(16, keep));
  static_cast<LogReadSummary &>(file) = readLog(in, sink, progress);
  if (!file.runs.isEmpty())
    sink.flush();
  if (!file.ok && !file.cancelled)
    file.error = QStringLiteral("%1: %2").arg(path, file.error);
  return file;
}

} // namespace logging
