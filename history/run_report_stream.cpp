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
  ReportScan(int run, const logging::LogSelection &selection, const LogChart &chart)
      : m_run(run), m_selection(selection), m_chart(chart) {}
  void run(const logging::LogRun &run) override { runs.append(run); }
  bool record(const logging::LogRecord &r) override {
    if (!m_selection.takes(r) || (m_run >= 0 && r.run != m_run))
      return true;
    if (!figures) {
      m_run = r.run;
      figures.emplace(Span{m_selection.fromWall.value_or(std::numeric_limits<qint64>::min()),
                           m_selection.toWall.value_or(std::numeric_limits<qint64>::max()),
                           m_run},
                      reportSeries(m_chart));
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
  const LogChart &m_chart;
};

// The second reading: for each column of time and each series, the records of its lowest and
// highest value; and the run's first record, for the calibration in force at its start.
class ExtremeRecords : public logging::LogSink {
public:
  ExtremeRecords(int run, const ReportScan &scan, const LogChart &chart)
      : m_run(run), m_first(scan.first), m_width(scan.last - scan.first + 1),
        m_sources(reportSeries(chart)) {}
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

bool readInto(const QString &path, logging::LogSink &sink, QTextStream &err) {
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) {
    err << "brellis: cannot read " << path << ": " << in.errorString() << '\n';
    return false;
  }
  const logging::LogReadSummary summary = logging::readLog(in, sink);
  if (!summary.ok)
    err << "brellis: " << path << ": " << summary.error << '\n';
  return summary.ok;
}

} // namespace

int reportCommand(const QString &inPath, const QString &outPath, int run,
                  const logging::LogSelection &selection, QTextStream &err) {
  if (!outPath.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
    err << "brellis: --report writes a .pdf, not \"" << outPath << "\"\n";
    return 2;
  }
  QFile in(inPath);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!in.open(QIODevice::ReadOnly) || !hash.addData(&in)) {
    err << "brellis: cannot read " << inPath << ": " << in.errorString() << '\n';
    return 1;
  }
  in.close();
  LogChart chart; // values the series as the log window shows them
  ReportScan scan(run > 0 ? run - 1 : (selection.fromWall ? -1 : 0), selection, chart);
  if (!readInto(inPath, scan, err))
    return 1;
  if (run > scan.runs.size()) {
    err << "brellis: " << inPath << " has no run " << run << " (it holds " << scan.runs.size()
        << ")\n";
    return 1;
  }
  if (!scan.figures) {
    err << "brellis: run " << std::max(run, 1) << " of " << inPath
        << " has no record to report\n";
    return 1;
  }
  ExtremeRecords extremes(scan.chosenRun(), scan, chart);
  if (!readInto(inPath, extremes, err))
    return 1;
  logging::LogFile log;
  log.ok = true;
  log.runs = scan.runs;
  log.records = extremes.records();
  for (logging::LogRun &r : log.runs)
    r.firstRecord = 0, r.recordCount = 0;
  log.runs[scan.chosenRun()].recordCount = qsizetype(log.records.size());
  const LogSideFiles side = readSideFiles(inPath);
  const SpanFigures figures = scan.figures->result();
  ReportRequest request;
  request.logPath = inPath, request.log = &log, request.side = &side;
  request.sha256Hex = hash.result().toHex(), request.run = scan.chosenRun();
  request.fromWall = scan.first, request.toWall = scan.last, request.figures = &figures;
  QString error;
  if (!writeRunReport(request, outPath, &error)) {
    err << "brellis: " << error << '\n';
    return 1;
  }
  return 0;
}

} // namespace history
