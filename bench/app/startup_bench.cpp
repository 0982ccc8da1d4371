// From the first line of main() to the main window's first paint: the application object, the
// window built, load() (port, pictures, calibration store), show(), and the first paint event,
// as app/main.cpp does it but on the simulated modules. Measured once per process (the cold
// start: fonts, pictures and plugins loaded for the first time), and again with everything warm.
// Run it several times for a spread of cold starts.

#include "console/frm_main.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QElapsedTimer sinceMain;
double appReadyMs = 0;

class FirstPaint final : public QObject {
public:
  bool painted = false;
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint)
      painted = true;
    return false;
  }
};

// Builds, loads and shows the window and returns once it has been painted; false on failure.
bool showWindow(tiltdgh::SteadyClock &clock, std::unique_ptr<sim::DghModules> &modules,
                std::unique_ptr<sim::SimulatedBus> &bus, std::unique_ptr<frmMain> &window,
                double *loadedMs) {
  modules = std::make_unique<sim::DghModules>();
  bus = std::make_unique<sim::SimulatedBus>(clock, *modules);
  window = std::make_unique<frmMain>(*bus, clock);
  if (!window->load())
    return false;
  if (loadedMs)
    *loadedMs = sinceMain.nsecsElapsed() / 1e6;
  FirstPaint paint;
  window->installEventFilter(&paint);
  window->show();
  QElapsedTimer guard;
  guard.start();
  while (!paint.painted && guard.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  window->removeEventFilter(&paint);
  return paint.painted;
}

void BM_StartToWindowShown(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  std::unique_ptr<sim::DghModules> modules;
  std::unique_ptr<sim::SimulatedBus> bus;
  std::unique_ptr<frmMain> window;
  double loadedMs = 0;
  for (auto _ : state) {
    if (!showWindow(clock, modules, bus, window, &loadedMs)) {
      state.SkipWithError("the window was not shown");
      return;
    }
    state.SetIterationTime(sinceMain.nsecsElapsed() / 1e9);
  }
  state.counters["app_ready_ms"] = appReadyMs;
  state.counters["loaded_ms"] = loadedMs;
}
BENCHMARK(BM_StartToWindowShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_WindowShownAgain(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  for (auto _ : state) {
    std::unique_ptr<sim::DghModules> modules;
    std::unique_ptr<sim::SimulatedBus> bus;
    std::unique_ptr<frmMain> window;
    if (!showWindow(clock, modules, bus, window, nullptr)) {
      state.SkipWithError("the window was not shown");
      return;
    }
  }
}
BENCHMARK(BM_WindowShownAgain)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char **argv) {
  sinceMain.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  // The calibration store is read as at a first start: empty.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  appReadyMs = sinceMain.nsecsElapsed() / 1e6;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
