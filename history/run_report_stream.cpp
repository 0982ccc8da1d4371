// The report of a log of any length: read as it goes, the figures taken on the way and the charts
// drawn from the records that hold each column's extremes.
#include "history/log_chart.h"
#include "history/run_report.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <limits>
#include <map>

namespace history {
namespace {

// Columns of time the charts' records are kept for: more than an A4 chart has dots across.
constexpr qint64 kColumns = 2000;

// The first reading: the runs, the chosen run (the one holding the selection's first record when
// none was named), the extent of its records the selection takes, and their figures.
class ReportScan : public logging::LogSink {
public:
  ReportScan(int run, const logging::LogSelection &selection)
      : m_run(run), m_selection(selection) {}
  void run(const logging::LogRun &run) override { runs.append(run); }
  bool record(const logging::LogRecord &r) override {
    if (!m_selection.takes(r) || (m_run >= 0 && r.run != m_run))
      return true;
    if (!figures) {
      m_run = r.run;
      figures.emplace(Span{m_selection.fromWall.value_or(std::numeric_limits<qint64>::min()),
                           m_selection.toWall.value_or(std::numeric_limits<qint64>::max()),
                           m_run},
                      reportSeries());
      first = last = r.wallSeconds;
    }
    first = std::min(first, r.wallSeconds), last = std::max(last, r.wallSeconds);
    figures->add(r);
    return true;
  }
  int chosenRun() const { return m_run; }

  QList<logging::LogRun> runs;
  std::optional<FigureAccumulator> figures; // set at the first record taken
  qint64 first = 0, last = 0;

private:
  int m_run;
  logging::LogSelection m_selection;
};

// The second reading: for each column of time and each series, the records of its lowest and
// highest value; and the run's first record, for the calibration in force at its start.
class ExtremeRecords : public logging::LogSink {
public:
  ExtremeRecords(int run, const ReportScan &scan)
      : m_run(run), m_first(scan.first), m_width(scan.last - scan.first + 1),
        m_sources(reportSeries()) {}
  void run(const logging::LogRun &) override {}
  bool record(const logging::LogRecord &r) override {
    if (r.run != m_run)
      return true;
    ++m_order;
    if (!m_start.order)
      m_start = {m_order, 0, r};
    if (r.wallSeconds < m_first || r.wallSeconds >= m_first + m_width)
      return true;
    const qint64 column = (r.wallSeconds - m_first) * kColumns / m_width;
    for (size_t i = 0; i < m_sources.size(); ++i) {
      const double v = m_sources[i].value(r);
      if (!std::isfinite(v))
        continue;
      auto &[low, high] = m_extremes[{column, i}];
      if (!low.order || v < low.value)
        low = {m_order, v, r};
      if (!high.order || v > high.value)
        high = {m_order, v, r};
    }
    return true;
  }
  // The kept records, each once, in the order the file has them.
  std::vector<logging::LogRecord> records() const {
    std::vector<const Kept *> kept{&m_start};
    for (const auto &[key, pair] : m_extremes)
      kept.insert(kept.end(), {&pair.first, &pair.second});
    std::sort(kept.begin(), kept.end(),
              [](const Kept *a, const Kept *b) { return a->order < b->order; });
    std::vector<logging::LogRecord> out;
    for (size_t k = 0; k < kept.size(); ++k)
      if (kept[k]->order && (k == 0 || kept[k]->order != kept[k - 1]->order))
        out.push_back(kept[k]->record);
    return out;
  }

private:
  struct Kept {
    qint64 order = 0; // the record's place among the run's, from 1; 0 for none
    double value = 0;
    logging::LogRecord record;
  };
  int m_run;
  qint64 m_first, m_width;
  std::vector<SeriesSource> m_sources;
  qint64 m_order = 0;
  Kept m_start;
  std::map<std::pair<qint64, size_t>, std::pair<Kept, Kept>> m_extremes; // (column, series)
};

bool readInto(const QString &path, logging::LogSink &sink, QString *error,
              const logging::LogProgress &progress) {
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, in.errorString());
    return false;
  }
  const logging::LogReadSummary summary = logging::readLog(in, sink, progress);
  if (!summary.ok)
    *error = summary.cancelled ? QStringLiteral("the report was cancelled")
                               : QStringLiteral("%1: %2").arg(path, summary.error);
  return summary.ok;
}

} // namespace

bool readRunForReport(const QString &path, int run, const logging::LogSelection &selection,
                      StreamedRun *out, QString *error, const logging::LogProgress &progress) {
  QFile in(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!in.open(QIODevice::ReadOnly) || !hash.addData(&in)) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, in.errorString());
    return false;
  }
  in.close();
  out->sha256Hex = hash.result().toHex();
  // Each reading counts for half the progress.
  const auto half = [&progress](int which) -> logging::LogProgress {
    if (!progress)
      return {};
    return [&progress, which](qint64 done, qint64 total) {
      return progress(total > 0 ? total * which + done : done, total > 0 ? 2 * total : total);
    };
  };
  ReportScan scan(run > 0 ? run - 1 : (selection.fromWall ? -1 : 0), selection);
  if (!readInto(path, scan, error, half(0)))
    return false;
  if (run > scan.runs.size()) {
    *error = QStringLiteral("%1 has no run %2 (it holds %3)").arg(path).arg(run).arg(scan.runs.size());
    return false;
  }
  if (!scan.figures) {
    *error = QStringLiteral("run %1 of %2 has no record to report").arg(std::max(run, 1)).arg(path);
    return false;
  }
  ExtremeRecords extremes(scan.chosenRun(), scan);
  if (!readInto(path, extremes, error, half(1)))
    return false;
  out->log.ok = true;
  out->log.runs = scan.runs;
  out->log.records = extremes.records();
  for (logging::LogRun &r : out->log.runs)
    r.firstRecord = 0, r.recordCount = 0;
  out->log.runs[scan.chosenRun()].recordCount = qsizetype(out->log.records.size());
  out->figures = scan.figures->result();
  out->run = scan.chosenRun(), out->first = scan.first, out->last = scan.last;
  return true;
}

ReportRequest StreamedRun::request(const QString &path, const LogSideFiles &side) const {
  ReportRequest r;
  r.logPath = path, r.log = &log, r.side = &side, r.sha256Hex = sha256Hex, r.run = run;
  r.fromWall = first, r.toWall = last, r.figures = &figures;
  return r;
}

int reportCommand(const QString &inPath, const QString &outPath, int run,
                  const logging::LogSelection &selection, QTextStream &err) {
  if (!outPath.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
    err << "brellis: --report writes a .pdf, not \"" << outPath << "\"\n";
    return 2;
  }
  StreamedRun streamed;
  QString error;
  if (!readRunForReport(inPath, run, selection, &streamed, &error)) {
    err << "brellis: " << error << '\n';
    return 1;
  }
  const LogSideFiles side = readSideFiles(inPath);
  if (!writeRunReport(streamed.request(inPath, side), outPath, &error)) {
    err << "brellis: " << error << '\n';
    return 1;
  }
  return 0;
}

} // namespace history
