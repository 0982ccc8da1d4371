// Opening a week of records taken once a second (604 800 records, about 50 MB), as the log
// window does it: the reading alone, and the whole opening up to the drawn chart. Also the
// export of that week to each table type.
#include "history/log_window.h"
#include "logging/log_export.h"
#include "logging/log_format.h"
#include "logging/log_reader.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

constexpr int kWeekSeconds = 7 * 24 * 3600;

// Written once by the log format's own functions: one run from Monday 00:00:00, simulated
// readings that change every second, the total growing.
const QString &weekFile() {
  static QTemporaryDir dir;
  static const QString path = [] {
    const QString p = dir.filePath("week.csv");
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly))
      return QString();
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    AcquisitionState s;
    s.probe1Offset = s.probe2Offset = 2.5777;
    s.probe1Slope = s.probe2Slope = 4.5427;
    s.probe1Serial = s.probe2Serial = QStringLiteral("180312");
    s.probe1CalDate = s.probe2CalDate = QDate(2001, 1, 1);
    s.ph1Corr = 0.05;
    s.therm2Offset = -0.25;
    f.write(logging::logHeaderText(s, QDate(2026, 12, 7), us).toLatin1());
    QByteArray chunk;
    for (int i = 0; i < kWeekSeconds; ++i) {
      const double t = i / 3600.0;
      s.therm1Temp = std::round((21 + std::sin(t)) * 100) / 100;
      s.therm2Temp = std::round((22 + std::cos(t)) * 100) / 100;
      s.therm3Temp = 20.5;
      s.ph1mV = std::round((2577.7 + 10 * std::sin(t / 3)) * 100) / 100;
      s.ph2mV = 2580.12;
      s.ph1Value = std::round((7 + 0.2 * std::sin(t / 3)) * 10000) / 10000;
      s.ph2Value = 7.0213;
      s.flowHz = 1234.5;
      s.litersPerMin = 10.73;
      const QString liters = QString::number(std::round(i * 17.89) / 100, 'f', 2);
      chunk += logging::logRecordText(s, liters, QTime(0, 0).addSecs(i % 86400), us).toLatin1();
      if (chunk.size() > (1 << 20)) {
        f.write(chunk);
        chunk.clear();
      }
    }
    f.write(chunk);
    return p;
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
