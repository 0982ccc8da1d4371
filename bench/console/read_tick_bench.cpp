// One exchange and the wait alone, each started on a fresh millisecond; then one read tick with
// all six channels on (flow, two pH, three thermistors): six exchanges, each with its wait, so
// the wall time sits near 210 ms, and the processor time shows what the waits and the window
// updates cost. Against the simulated modules in process, and through dgh-sim on a
// pseudo-terminal and the real serial line.

#include "bench/console/window_rig.h"
#include "instrument/dgh_exchange.h"
#include "instrument/qserial_line.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"

#include <QApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <chrono>

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

// Back to back, waits and exchanges lock onto the millisecond clock: each wait ends on a
// millisecond boundary and the next one starts a little after it, so it lasts less than 35 ms and
// the exchange's own cost hides inside the quantisation. These runs therefore start every
// iteration on a fresh millisecond of the clock (found untimed), so the wait lasts the full
// 35 ms and what the exchange takes beyond that is its own cost: the command's write, the
// sleep's overshoot, and the drain.
void alignToMillisecond(tiltdgh::SteadyClock &clock) {
  const quint32 start = clock.now();
  while (clock.now() == start) {
  }
}

template <typename Work>
void fromMillisecondStart(benchmark::State &state, tiltdgh::SteadyClock &clock, Work work) {
  for (auto _ : state) {
    alignToMillisecond(clock);
    const auto begin = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    state.SetIterationTime(took.count());
  }
}

void BM_WaitMs35FromMillisecondStart(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  fromMillisecondStart(state, clock, [&] { tiltdgh::WaitMs(clock, 35); });
}

class NoMessages final : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &, const QString &) override { ++shown; }
  int shown = 0;
};

void exchanges(benchmark::State &state, tiltdgh::SerialLine &line, tiltdgh::SteadyClock &clock) {
  NoMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  if (line.open() != tiltdgh::PortError::None) {
    state.SkipWithError("the line did not open");
    return;
  }
  int bad = 0;
  fromMillisecondStart(state, clock, [&] {
    tiltdgh::SendCommand(link, QStringLiteral("$6RD\r"));
    bad += !tiltdgh::ReadResponse(link).startsWith(QLatin1Char('*'));
  });
  if (bad > 0 || messages.shown > 0)
    state.SkipWithError("an exchange did not get a sound reply");
}

void BM_ExchangeFromMillisecondStartSimulatedBus(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  sim::DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  exchanges(state, bus, clock);
}

QString startSimulator(QProcess &sim) {
  sim.start(QStringLiteral(DGH_SIM_PATH), {QStringLiteral("--seed"), QStringLiteral("5")});
  while (sim.waitForReadyRead(10000) && !sim.canReadLine()) {
  }
  return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

void BM_ExchangeFromMillisecondStartPseudoTerminal(benchmark::State &state) {
  QProcess sim;
  tiltdgh::PortDevices devices;
  devices.map(1, startSimulator(sim));
  tiltdgh::QSerialLine line(devices);
  tiltdgh::SteadyClock clock;
  exchanges(state, line, clock);
  line.close();
  sim.terminate();
  sim.waitForFinished(10000);
}

BENCHMARK(BM_WaitMs35FromMillisecondStart)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ExchangeFromMillisecondStartSimulatedBus)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ExchangeFromMillisecondStartPseudoTerminal)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
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
  tiltdgh::PortDevices devices;
  devices.map(1, startSimulator(sim));
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
