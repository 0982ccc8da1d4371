// Wall time and processor time of one exchange (SendCommand + ReadResponse) on the real serial
// line, against dgh-sim on a pseudo-terminal. The wall time is the fixed 35 ms wait plus what it
// overshoots plus the drain; the processor time shows what the wait costs the machine.

#include "instrument/dgh_exchange.h"
#include "instrument/qserial_line.h"

#include <QCoreApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

class NoMessages final : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &) override {
    std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
  }
};

// The simulator, started once for all runs.
QProcess *simulator() {
  static std::unique_ptr<QProcess> process;
  if (!process) {
    process = std::make_unique<QProcess>();
    process->start(QStringLiteral(DGH_SIM_PATH), {QStringLiteral("--seed"), QStringLiteral("3")});
    while (process->waitForReadyRead(10000) && !process->canReadLine()) {
    }
  }
  return process.get();
}

void oneExchange(benchmark::State &state, const char *address) {
  static QString device;
  if (device.isEmpty())
    device = QString::fromLocal8Bit(simulator()->readLine()).trimmed();
  tiltdgh::PortDevices devices;
  devices.map(1, device);
  tiltdgh::QSerialLine line(devices);
  if (line.open() != tiltdgh::PortError::None) {
    state.SkipWithError(
        qPrintable(QStringLiteral("cannot open %1: %2").arg(device, line.lastErrorText())));
    return;
  }
  tiltdgh::SteadyClock clock;
  NoMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  const QString command = QStringLiteral("$%1RD\r").arg(QLatin1String(address));
  int bad = 0;
  for (auto _ : state) {
    tiltdgh::SendCommand(link, command);
    // Not const: Google Benchmark 1.8 and later deprecate DoNotOptimize of a const value.
    QString reply = tiltdgh::ReadResponse(link);
    if (!reply.startsWith(QLatin1Char('*')))
      ++bad;
    benchmark::DoNotOptimize(reply);
  }
  state.counters["bad_replies"] = bad;
}

BENCHMARK_CAPTURE(oneExchange, ph_module, "6")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(60)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (QProcess *process = simulator(); process->state() != QProcess::NotRunning) {
    process->terminate();
    process->waitForFinished(10000);
  }
  return 0;
}
