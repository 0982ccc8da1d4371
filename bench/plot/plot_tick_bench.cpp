// One plot tick (two appends) followed by a synchronous redraw of a 900 x 400 chart, on an empty
// chart and on a chart holding a week of points per trace (one a second), plus the memory that
// week takes.
#include "plot/graph_feed.h"
#include "plot/trend_graph.h"
#include "plot/trend_plot.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>

namespace {

constexpr int weekOfSeconds = 7 * 24 * 3600;
const QDateTime weekStart(QDate(2024, 3, 4), QTime(0, 0, 0));

size_t heapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd; // small blocks plus blocks given their own mapping
}

// The chart and its controller as the main window wires them, with a clock that advances half a
// second per reading so that each tick is one second later than the one before.
struct Rig {
  AcquisitionState state;
  QTimer tmrPlot;
  QCheckBox chkpH1, chkpH2;
  QDateTime now;
  std::unique_ptr<plot::TrendGraph> graph;
  std::unique_ptr<plot::TrendPlot> plot;

  explicit Rig(const QDateTime &first) : now(first) {
    state.plotPh1 = state.plotPh2 = true;
    state.ph1Value = 7.1;
    state.ph2Value = 6.9;
    graph = std::make_unique<plot::TrendGraph>(first);
    graph->resize(900, 400);
    graph->show();
    plot =
        std::make_unique<plot::TrendPlot>(state, graph.get(), &tmrPlot, &chkpH1, &chkpH2, [this] {
          const QDateTime t = now;
          now = now.addMSecs(500);
          return t;
        });
    graph->replot();
  }

  // A week of points on both traces as the tick would have left them, trace 2 then trace 1.
  void fillWeek() {
    const double t0 = plot::TrendGraph::keyOf(weekStart);
    plot::DecimatedSeries &trace1 = graph->feed(1)->series();
    plot::DecimatedSeries &trace2 = graph->feed(2)->series();
    for (int i = 0; i < weekOfSeconds; ++i) {
      const double wave = 0.5 * std::sin(i / 3600.0);
      trace2.append(t0 + i, 6.9 + wave);
      trace1.append(t0 + i + 0.5, 7.1 - wave);
    }
    graph->feed(1)->refresh();
    graph->feed(2)->refresh();
  }

  void tickAndRedraw() {
    plot->plotTick();
    // The tick queues its replot for the event loop; draw now instead and drop the queued one.
    graph->replot(QCustomPlot::rpImmediateRefresh);
    QCoreApplication::removePostedEvents(graph.get(), QEvent::MetaCall);
  }
};

void BM_PlotTickEmptyChart(benchmark::State &bench) {
  Rig rig(weekStart);
  for (auto _ : bench) {
    rig.tickAndRedraw();
    bench.PauseTiming();
    rig.graph->feed(1)->series().clear();
    rig.graph->feed(2)->series().clear();
    bench.ResumeTiming();
  }
}
BENCHMARK(BM_PlotTickEmptyChart)->Unit(benchmark::kMicrosecond);

// The operator watches the newest minute: the chart follows it.
void BM_PlotTickWeekOfPointsFollowing(benchmark::State &bench) {
  Rig rig(weekStart.addSecs(weekOfSeconds));
  rig.fillWeek();
  rig.graph->xAxis->setRange(rig.graph->xAxis->range().upper - 60, rig.graph->xAxis->range().upper);
  for (auto _ : bench)
    rig.tickAndRedraw();
  bench.counters["points_per_trace"] = double(rig.graph->history(1)->size());
}
BENCHMARK(BM_PlotTickWeekOfPointsFollowing)->Unit(benchmark::kMicrosecond);

// The operator zoomed out to the whole week: every point is in the drawn range.
void BM_PlotTickWeekOfPointsAllVisible(benchmark::State &bench) {
  Rig rig(weekStart.addSecs(weekOfSeconds));
  rig.fillWeek();
  const double t0 = plot::TrendGraph::keyOf(weekStart);
  rig.graph->xAxis->setRange(t0, t0 + weekOfSeconds);
  for (auto _ : bench)
    rig.tickAndRedraw();
  bench.counters["points_per_trace"] = double(rig.graph->history(1)->size());
  bench.counters["points_drawn_per_trace"] = rig.graph->trace(1)->dataCount();
}
BENCHMARK(BM_PlotTickWeekOfPointsAllVisible)->Unit(benchmark::kMicrosecond);

// Heap taken by a week of points on both traces, filled one point at a time as the tick does.
void BM_WeekOfPointsMemory(benchmark::State &bench) {
  double bytes = 0;
  for (auto _ : bench) {
    Rig rig(weekStart.addSecs(weekOfSeconds));
    const size_t before = heapBytesInUse();
    rig.fillWeek();
    bytes = double(heapBytesInUse() - before);
  }
  bench.counters["MiB_both_traces"] = bytes / (1024.0 * 1024.0);
  bench.counters["bytes_per_point"] = bytes / (2.0 * weekOfSeconds);
}
BENCHMARK(BM_WeekOfPointsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
