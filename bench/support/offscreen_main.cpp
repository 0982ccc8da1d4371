// main() of the benchmark programs that need widgets: a QApplication on the offscreen platform
// around Google Benchmark's own run.
#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
