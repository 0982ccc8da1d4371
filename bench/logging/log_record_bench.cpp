#include "logging/log_writer.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

// One record as a log tick writes it: formatted, handed to the operating system and checked.
static void BM_WriteLogRecordToARealFile(benchmark::State &run) {
  QTemporaryDir dir;
  AcquisitionState state;
  state.therm1Temp = 21.37;
  state.ph1mV = 2577.7;
  state.ph1Value = 7.0123;
  state.flowHz = 1234.5;
  state.litersPerMin = 10.73;
  state.ph2Corr = -0.5;
  const QLocale locale(QLocale::English, QLocale::UnitedStates);
  logging::LogWriter writer(state);
  if (!writer.openLogFile(dir.filePath("bench.csv"), false)) {
    run.SkipWithError("cannot open the log file");
    return;
  }
  const QTime time(14, 5, 9);
  for (auto _ : run) {
    if (!writer.writeLogRecord(QStringLiteral("123.45"), time, locale)) {
      run.SkipWithError("write failed");
      break;
    }
  }
  run.SetItemsProcessed(run.iterations());
}
BENCHMARK(BM_WriteLogRecordToARealFile);

BENCHMARK_MAIN();
