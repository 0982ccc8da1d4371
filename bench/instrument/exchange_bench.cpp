// One command/reply exchange against the simulated modules on the machine's clock. Wall time
// should sit just above the 35 ms wait; processor time shows what the wait costs a core (the
// sleep leaves it free, only the last fraction of a millisecond is spun).

#include "instrument/dgh_exchange.h"
#include "sim/simulated_bus.h"

#include <benchmark/benchmark.h>

namespace {

class NoMessages final : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &, const QString &) override { ++shown; }
  int shown = 0;
};

void oneExchange(benchmark::State &state) {
  tiltdgh::SteadyClock clock;
  sim::DghModules modules;
  sim::SimulatedBus bus(clock, modules);
  if (bus.open() != tiltdgh::PortError::None) {
    state.SkipWithError("the simulated bus did not open");
    return;
  }
  NoMessages messages;
  tiltdgh::DghLink link{bus, clock, messages};
  const QString command = QStringLiteral("$6RD\r");
  int failures = 0;
  for (auto _ : state) {
    tiltdgh::SendCommand(link, command);
    // Not const: Google Benchmark 1.8 and later deprecate DoNotOptimize of a const value.
    QString reply = tiltdgh::ReadResponse(link);
    failures += !reply.startsWith(QLatin1Char('*'));
    benchmark::DoNotOptimize(reply);
  }
  if (failures > 0 || messages.shown > 0)
    state.SkipWithError("an exchange did not get a sound reply");
}

BENCHMARK(oneExchange)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(40)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
