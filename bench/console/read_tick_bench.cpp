// The 35 ms wait alone, the reference for an exchange's own cost; then one read tick with all six
// channels on (flow, two pH, three thermistors): six exchanges, each with its wait, so the wall
// time sits near 210 ms, and the processor time shows what the waits and the window updates
// cost. Against the simulated modules in process, and through dgh-sim on a pseudo-terminal and
// the real serial line.

#include "bench/console/window_rig.h"
#include "instrument/dgh_exchange.h"
#include "instrument/qserial_line.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

namespace {

void runTicks(benchmark::State &state, tiltdgh::SerialLine &line, tiltdgh::SteadyClock &clock) {
  benchrig::CountedMessages messages;
  auto window = benchrig::loadedWindow(line, clock, messages);
  if (!window) {
    state.SkipWithError("the window did not load");
    return;
  }
  for (auto _ : state)
    window->readTick();
  if (!messages.texts.isEmpty())
    state.SkipWithError(qPrintable(QStringLiteral("a reader complained: ") + messages.texts[0]));
}

// The exchange's wait alone, as the exchange starts it: 35 whole milliseconds of a millisecond
// clock read at some moment inside a millisecond, so it lasts between 34 and 35 ms. What an
// exchange takes beyond this is its own cost: writing the command and draining the reply.
void BM_WaitMs35Alone(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  for (auto _ : state)
    tiltdgh::WaitMs(clock, 35);
}
BENCHMARK(BM_WaitMs35Alone)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ReadTickSixChannelsSimulatedBus(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  sim::DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  runTicks(state, bus, clock);
}
BENCHMARK(BM_ReadTickSixChannelsSimulatedBus)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_ReadTickSixChannelsPseudoTerminal(benchmark::State &state) {
  QProcess sim;
  sim.start(QStringLiteral(DGH_SIM_PATH), {QStringLiteral("--seed"), QStringLiteral("5")});
  while (sim.waitForReadyRead(10000) && !sim.canReadLine()) {
  }
  const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
  tiltdgh::PortDevices devices;
  devices.map(1, device);
  tiltdgh::QSerialLine line(devices);
  tiltdgh::SteadyClock clock;
  runTicks(state, line, clock);
  sim.terminate();
  sim.waitForFinished(10000);
}
BENCHMARK(BM_ReadTickSixChannelsPseudoTerminal)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
