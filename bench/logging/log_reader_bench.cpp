// Opening a week of records taken once a second (604 800 records, about 60 MB), as the log
// window does it: the reading alone, and the whole opening up to the drawn chart. Also the
// export of that week to each table type, and its run report. A week at the fastest rate (ten
// records a second, 6 048 000 records): the window's opening, and the command line's export and
// report. Peak resident memory is the process's own: run one benchmark a process for it.
#include "history/log_window.h"
#include "history/run_report.h"
#include "logging/log_export.h"
#include "logging/log_reader.h"
#include "state/operator_messages.h"
#include "second_records.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>


namespace {

constexpr int kWeekSeconds = 7 * 24 * 3600;

// The window's boxes, kept instead of shown: nobody answers a box in a benchmark.
class Said : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &) override { texts << text; }
  QStringList texts;
};

double peakResidentMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// BRELLIS_BENCH_TENTH_WEEK may name the file an earlier run wrote (it takes minutes to write);
// otherwise it is written here.
const QString &tenthWeekFile() {
  static QTemporaryDir dir;
  static const QString path = [] {
    if (const QString given = qEnvironmentVariable("BRELLIS_BENCH_TENTH_WEEK"); !given.isEmpty())
      return given;
    const QString p = dir.filePath("week-tenths.csv");
    return writeSecondRecords(p, kWeekSeconds, 10) ? p : QString();
  }();
  return path;
}

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
  state.counters["peak_RSS_MB"] = peakResidentMB();
}
BENCHMARK(BM_OpenWeekInLogWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5);

// The window opening the week at ten records a second, as BM_OpenWeekInLogWindow.
void BM_OpenTenthWeekInLogWindow(benchmark::State &state) {
  const QString path = tenthWeekFile();
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  Said said;
  for (auto _ : state) {
    history::LogWindowServices services;
    services.messages = &said;
    history::LogWindow window(services);
    window.show();
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&window, &history::LogWindow::fileRead, &loop, [&](bool read) {
      ok = read;
      loop.quit();
    });
    window.openFile(path);
    loop.exec();
    if (!ok) {
      state.SkipWithError(qPrintable(QStringLiteral("refused: ") + said.texts.join(' ')));
      return;
    }
  }
  state.counters["peak_RSS_MB"] = peakResidentMB();
}
BENCHMARK(BM_OpenTenthWeekInLogWindow)->Unit(benchmark::kMillisecond)->Iterations(1);

// `brellis --export-log --from --to` and `--report` as the command line runs them: read as they
// go (the export) or into memory (the report).
void BM_CommandOnWeek(benchmark::State &state, const QString &(*file)(), bool report) {
  QTemporaryDir dir;
  const QString out = dir.filePath(report ? QStringLiteral("week.pdf") : QStringLiteral("week.csv"));
  QString messages;
  QTextStream err(&messages);
  const QString in = file(); // written before the clock starts
  for (auto _ : state) {
    const int status = report ? history::reportCommand(in, out, 1, {}, err)
                              : logging::exportLogCommand(QStringList{in}, out, err);
    if (status != 0) {
      state.SkipWithError(qPrintable(messages));
      return;
    }
  }
  state.counters["file_MB"] = double(QFile(in).size()) / 1e6;
  state.counters["out_MB"] = double(QFile(out).size()) / 1e6;
  state.counters["peak_RSS_MB"] = peakResidentMB();
}
BENCHMARK_CAPTURE(BM_CommandOnWeek, export_second, &weekFile, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_CommandOnWeek, report_second, &weekFile, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_CommandOnWeek, export_tenth, &tenthWeekFile, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_CommandOnWeek, report_tenth, &tenthWeekFile, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

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
