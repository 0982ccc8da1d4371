// The log window's chart, before and after it drew through plot's decimating feeds, side by side:
// drawing a week of records a second once it is in memory (pH1 and pH2, the whole week in view),
// and one redraw while panning four weeks, with the whole file in view and with one day in view.
//
// "before" is the chart as the window drew it until then: every point handed to QCustomPlot,
// its adaptive sampling on, antialiased 1-pixel pens on a white chart. "after" is history's
// LogChart, the one the window uses now.
#include "history/log_chart.h"
#include "logging/log_reader.h"
#include "second_records.h"

#include <benchmark/benchmark.h>

#include <qcustomplot.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>

namespace {

constexpr int kDaySeconds = 24 * 3600;
constexpr QSize kChartSize(780, 540); // the chart's part of the window at its first size

const logging::LogFile &logOf(int days) {
  static QTemporaryDir dir;
  static std::map<int, std::unique_ptr<logging::LogFile>> logs;
  auto &log = logs[days];
  if (!log) {
    const QString path = dir.filePath(QStringLiteral("days%1.csv").arg(days));
    log = std::make_unique<logging::LogFile>();
    if (writeSecondRecords(path, days * kDaySeconds))
      *log = logging::readLogFile(path);
    QFile::remove(path);
  }
  return *log;
}

// The chart as it was: all points of pH1 (with its correction) and pH2 in two graphs.
class ChartBefore : public QCustomPlot {
public:
  ChartBefore() {
    resize(kChartSize);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm:ss"));
    xAxis->setTicker(ticker);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    legend->setVisible(true);
    for (const QColor &colour : {QColor(0, 150, 0), QColor(200, 0, 0)}) {
      QCPGraph *g = addGraph(xAxis, yAxis);
      g->setPen(QPen(colour, 1));
      g->setAdaptiveSampling(true);
    }
  }

  void draw(const logging::LogFile &log) {
    const logging::LogColumn columns[2] = {logging::Ph1Value, logging::Ph2Value};
    const int adjustments[2] = {logging::Ph1Corr, logging::Ph2Corr};
    for (int i = 0; i < 2; ++i) {
      QVector<QCPGraphData> points;
      points.reserve(qsizetype(log.records.size()) + log.runs.size());
      int run = 0;
      for (const logging::LogRecord &r : log.records) {
        if (r.run != run && !points.isEmpty())
          points.append(QCPGraphData(points.last().key, qQNaN()));
        run = r.run;
        points.append(QCPGraphData(double(r.wallSeconds),
                                   r.values[columns[i]] + r.values[adjustments[i]]));
      }
      const bool sorted =
          std::is_sorted(points.begin(), points.end(), qcpLessThanSortKey<QCPGraphData>);
      graph(i)->data()->set(points, sorted);
    }
    yAxis->rescale();
    const QCPRange r = yAxis->range();
    yAxis->setRange(r.lower - r.size() * 0.05, r.upper + r.size() * 0.05);
    replot();
    xAxis->rescale();
    replot();
  }
};

std::unique_ptr<history::LogChart> chartAfter() {
  auto chart = std::make_unique<history::LogChart>();
  chart->resize(kChartSize);
  return chart;
}

history::LogChartView phView() {
  history::LogChartView view;
  view.shown[0] = view.shown[1] = true;
  return view;
}

void BM_DrawWeek(benchmark::State &state, bool after) {
  const logging::LogFile &log = logOf(7);
  if (!log.ok) {
    state.SkipWithError("the week did not read");
    return;
  }
  for (auto _ : state) {
    if (after) {
      auto chart = chartAfter();
      chart->show();
      chart->setLog(&log);
      chart->showWholeFile();
      chart->showSeries(phView());
      state.PauseTiming(); // taking the chart down is no part of drawing it
      chart.reset();
      state.ResumeTiming();
    } else {
      auto chart = std::make_unique<ChartBefore>();
      chart->show();
      chart->draw(log);
      state.PauseTiming();
      chart.reset();
      state.ResumeTiming();
    }
  }
}
BENCHMARK_CAPTURE(BM_DrawWeek, before, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5);
BENCHMARK_CAPTURE(BM_DrawWeek, after, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5);

// One redraw after a drag of a tenth of the view, over four weeks of records a second.
void BM_PanFourWeeks(benchmark::State &state, bool after, bool wholeFile) {
  const logging::LogFile &log = logOf(28);
  if (!log.ok) {
    state.SkipWithError("four weeks did not read");
    return;
  }
  std::unique_ptr<QCustomPlot> chart;
  if (after) {
    auto logChart = chartAfter();
    logChart->show();
    logChart->setLog(&log);
    logChart->showWholeFile();
    logChart->showSeries(phView());
    chart = std::move(logChart);
  } else {
    auto before = std::make_unique<ChartBefore>();
    before->show();
    before->draw(log);
    chart = std::move(before);
  }
  if (!wholeFile) {
    const double start = chart->xAxis->range().lower + 10 * kDaySeconds;
    chart->xAxis->setRange(start, start + kDaySeconds);
  }
  const double step = chart->xAxis->range().size() / 10;
  int n = 0;
  for (auto _ : state) {
    // Back and forth, so the view stays over the file.
    chart->xAxis->moveRange(n++ % 20 < 10 ? step : -step);
    chart->replot();
  }
  state.counters["records"] = double(log.records.size());
}
BENCHMARK_CAPTURE(BM_PanFourWeeks, before_whole_file, false, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(5);
BENCHMARK_CAPTURE(BM_PanFourWeeks, after_whole_file, true, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(5);
BENCHMARK_CAPTURE(BM_PanFourWeeks, before_one_day, false, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(5);
BENCHMARK_CAPTURE(BM_PanFourWeeks, after_one_day, true, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(5);

} // namespace
