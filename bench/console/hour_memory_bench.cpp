// Memory after an hour of polling at 100 ms with plotting and logging on, compared with memory
// after a minute. An hour of real time does not fit a benchmark run, so the hour is compressed:
// the real window on the simulated modules, with a clock that jumps over each exchange's wait,
// runs the 36000 read ticks an hour at 100 ms makes, a log record after every read tick (logging
// at 100 ms, to a real file) and a plot tick after every tenth (tmrPlot's 1000 ms), letting the
// window process its events (the queued replots and repaints) after each plot tick. Resident set
// size and heap in use are sampled after 600 read ticks (the minute) and after 36000 (the hour);
// the plot's points are reported apart, as they are meant to grow.

#include "bench/console/window_rig.h"
#include "logging/log_controller.h"
#include "plot/decimated_series.h"
#include "plot/trend_graph.h"
#include "plot/trend_plot.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int ticksPerMinute = 600;
constexpr int ticksPerHour = 36000;

double residentMiB() {
  long pages = 0, resident = 0;
  if (FILE *f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double heapMiB() {
  const struct mallinfo2 info = mallinfo2();
  return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

void BM_HourOfPollingPlottingLogging(benchmark::State &state) {
  benchrig::JumpClock clock;
  sim::DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  benchrig::CountedMessages messages;
  auto window = benchrig::loadedWindow(bus, clock, messages);
  if (!window) {
    state.SkipWithError("the window did not load");
    return;
  }
  window->resize(1100, 800);
  window->show();
  QCoreApplication::processEvents();

  auto *trend = window->findChild<plot::TrendPlot *>();
  auto *graph = window->findChild<plot::TrendGraph *>(QStringLiteral("CWGraph1"));
  auto *logging = window->findChild<logging::LogController *>();
  QTemporaryDir dir;
  const QString logPath = dir.filePath(QStringLiteral("hour.csv"));
  logging->startLogging(logging::LogChoice{true, false, logPath, 100});
  // The ticks are driven here; the window's own timers would add real-time ticks on top.
  for (const char *name : {"tmrRd", "tmrPlot", "tmrLogger"})
    window->findChild<QTimer *>(QLatin1String(name))->stop();

  double rssMinute = 0, heapMinute = 0, pointsMinute = 0;
  double rssHour = 0, heapHour = 0, pointsHour = 0;
  // The chart's history holds every point of the run; the traces hold only what is in view.
  const auto pointsMiB = [graph] {
    return double(graph->history(1)->bytesHeld() + graph->history(2)->bytesHeld()) /
           (1024.0 * 1024.0);
  };
  for (auto _ : state) {
    for (int tick = 1; tick <= ticksPerHour; ++tick) {
      window->readTick();
      logging->writeTick();
      if (tick % 10 == 0) {
        trend->plotTick();
        QCoreApplication::processEvents();
      }
      if (tick == ticksPerMinute) {
        rssMinute = residentMiB();
        heapMinute = heapMiB();
        pointsMinute = pointsMiB();
      }
      if (tick % 6000 == 0)
        std::fprintf(stderr, "after %5d read ticks: resident %.2f MiB, heap %.2f MiB\n", tick,
                     residentMiB(), heapMiB());
    }
    rssHour = residentMiB();
    heapHour = heapMiB();
    pointsHour = pointsMiB();
  }
  state.counters["rss_minute_MiB"] = rssMinute;
  state.counters["rss_hour_MiB"] = rssHour;
  state.counters["heap_minute_MiB"] = heapMinute;
  state.counters["heap_hour_MiB"] = heapHour;
  state.counters["plot_points_hour_MiB"] = pointsHour;
  // What the hour added beyond the plot's own points.
  state.counters["heap_growth_less_points_MiB"] =
      (heapHour - heapMinute) - (pointsHour - pointsMinute);
  state.counters["rss_growth_less_points_MiB"] =
      (rssHour - rssMinute) - (pointsHour - pointsMinute);
  state.counters["points_per_trace"] = double(graph->history(1)->size());
  state.counters["log_MiB"] = QFile(logPath).size() / (1024.0 * 1024.0);
  if (!messages.texts.isEmpty())
    state.SkipWithError(qPrintable(QStringLiteral("a box was shown: ") + messages.texts[0]));
  if (!logging->isLogging())
    state.SkipWithError("logging stopped");
}
BENCHMARK(BM_HourOfPollingPlottingLogging)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
