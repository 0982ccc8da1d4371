// Opening a week of records taken once a second (604 800 records, about 50 MB), as the log
// window does it: the reading alone, and the whole opening up to the drawn chart. Also the
// export of that week to each table type.
#include "history/log_window.h"
#include "logging/log_export.h"
#include "logging/log_reader.h"
#include "second_records.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>


namespace {

constexpr int kWeekSeconds = 7 * 24 * 3600;

const QString &weekFile() {
  static QTemporaryDir dir;
  static const QString path = [] {
    const QString p = dir.filePath("week.csv");
    return writeSecondRecords(p, kWeekSeconds) ? p : QString();
  }();
  return path;
}

void BM_ReadWeekOfSecondRecords(benchmark::State &state) {
  const QString path = weekFile();
  qsizetype records = 0;
  for (auto _ : state) {
    const logging::LogFile log = logging::readLogFile(path);
    if (!log.ok) {
      state.SkipWithError("the week did not read");
      return;
    }
    records = qsizetype(log.records.size());
  }
  state.counters["records"] = double(records);
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_ReadWeekOfSecondRecords)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(5);

// From openFile() to the chart of pH1 and pH2 drawn, the file read on the window's own thread.
void BM_OpenWeekInLogWindow(benchmark::State &state) {
  const QString path = weekFile();
  for (auto _ : state) {
    history::LogWindow window;
    window.show();
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&window, &history::LogWindow::fileRead, &loop, [&](bool read) {
      ok = read;
      loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    window.openFile(path);
    loop.exec();
    // Closing the window is not part of opening it.
    state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    if (!ok) {
      state.SkipWithError("the window did not open the week");
      return;
    }
  }
}
BENCHMARK(BM_OpenWeekInLogWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5);

void BM_ExportWeek(benchmark::State &state, const char *suffix) {
  const logging::LogFile log = logging::readLogFile(weekFile());
  QTemporaryDir dir;
  const QString out = dir.filePath(QStringLiteral("week.") + QLatin1String(suffix));
  for (auto _ : state) {
    QString error;
    if (!logging::exportLog(log, out, &error)) {
      state.SkipWithError(qPrintable(error));
      return;
    }
  }
  state.counters["out_MB"] = double(QFile(out).size()) / 1e6;
}
BENCHMARK_CAPTURE(BM_ExportWeek, csv, "csv")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK_CAPTURE(BM_ExportWeek, xlsx, "xlsx")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

} // namespace
