// The share of a processor core the program uses while it polls all six channels at the 100 ms
// rate: the real window, its real tmrRd and event loop and the machine's clock, for a minute of
// wall time. The share is this process's user + system time over the wall time (getrusage, all
// threads). The modules are either in process or dgh-sim behind a pseudo-terminal (the
// simulator's own time is not counted: it stands for the hardware).

#include "bench/console/window_rig.h"
#include "instrument/qserial_line.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int pollSeconds() {
  const int fromEnv = qEnvironmentVariableIntValue("BRELLIS_POLL_SECONDS");
  return fromEnv > 0 ? fromEnv : 60;
}

void pollFor(benchmark::State &state, tiltdgh::SerialLine &line) {
  tiltdgh::SteadyClock clock;
  benchrig::CountedMessages messages;
  auto window = benchrig::loadedWindow(line, clock, messages);
  if (!window) {
    state.SkipWithError("the window did not load");
    return;
  }
  window->resize(1100, 800);
  window->show();
  // The operator chooses "100" and presses "Update".
  window->findChild<QComboBox *>(QStringLiteral("cmbUpdate"))->setCurrentIndex(4);
  window->findChild<QPushButton *>(QStringLiteral("CWupdateRate"))->click();
  auto *tmrRd = window->findChild<QTimer *>(QStringLiteral("tmrRd"));
  long ticks = 0;
  QObject::connect(tmrRd, &QTimer::timeout, [&ticks] { ++ticks; });

  double share = 0, wall = 0;
  for (auto _ : state) {
    QCoreApplication::processEvents(); // the first paint, before the clock starts
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer::singleShot(pollSeconds() * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    wall = elapsed.nsecsElapsed() / 1e9;
    share = (processCpuSeconds() - cpuBefore) / wall;
    state.SetIterationTime(wall);
  }
  state.counters["core_share_percent"] = 100 * share;
  state.counters["read_ticks"] = double(ticks);
  state.counters["ticks_per_s"] = ticks / wall;
  state.counters["interval_ms"] = tmrRd->interval();
  // A reply late beyond the wait (the simulator not scheduled in time on a busy machine) shows a
  // box; counted, since it costs nothing here. A channel switched off would make the run one of
  // fewer channels: not a sound run.
  state.counters["reader_boxes"] = messages.texts.size();
  for (const char *name : {"cwbFlow", "cwbPh", "cwbTherm"})
    if (!window->findChild<widgets::TwoStateSwitch *>(QLatin1String(name))->isChecked())
      state.SkipWithError(qPrintable(
          QStringLiteral("%1 went off: %2").arg(QLatin1String(name), messages.texts.join("; "))));
}

void BM_PollSixChannelsAt100msSimulatedBus(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  sim::DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  pollFor(state, bus);
}
BENCHMARK(BM_PollSixChannelsAt100msSimulatedBus)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

void BM_PollSixChannelsAt100msPseudoTerminal(benchmark::State &state) {
  QProcess sim;
  sim.start(QStringLiteral(DGH_SIM_PATH), {QStringLiteral("--seed"), QStringLiteral("5")});
  while (sim.waitForReadyRead(10000) && !sim.canReadLine()) {
  }
  tiltdgh::PortDevices devices;
  devices.map(1, QString::fromLocal8Bit(sim.readLine()).trimmed());
  tiltdgh::QSerialLine line(devices);
  pollFor(state, line);
  sim.terminate();
  sim.waitForFinished(10000);
}
BENCHMARK(BM_PollSixChannelsAt100msPseudoTerminal)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
