// How long characters written to one end of a pseudo-terminal take to become readable at the
// other, with both ends in the real-time class where the system allows it: the kernel hands them
// across in a worker thread of ordinary priority. Run it alone and beside processor hogs
// (`sh -c 'while :; do :; done' &` four times) to see what a busy machine does to that worker.
// Besides the time per crossing, it reports the 99th percentile and the longest crossing seen.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {

void PtyCrossing(benchmark::State &state) {
  sched_param param{};
  param.sched_priority = 5;
  sched_setscheduler(0, SCHED_FIFO, &param); // stays in the normal class where not allowed
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  static const char frame[] = "*+00022.30\r";
  std::vector<double> crossingsMs;
  char buffer[64];
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (write(master, frame, sizeof frame - 1) != ssize_t(sizeof frame - 1)) {
      state.SkipWithError("write failed");
      break;
    }
    for (size_t got = 0; got < sizeof frame - 1;) {
      pollfd ready{slave, POLLIN, 0};
      poll(&ready, 1, 1000);
      const ssize_t n = read(slave, buffer, sizeof buffer);
      if (n > 0)
        got += size_t(n);
    }
    crossingsMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    state.PauseTiming();
    usleep(2000); // as between the exchanges of a read tick
    state.ResumeTiming();
  }
  close(master);
  close(slave);
  if (crossingsMs.empty())
    return;
  std::sort(crossingsMs.begin(), crossingsMs.end());
  state.counters["p99_ms"] = crossingsMs[crossingsMs.size() * 99 / 100];
  state.counters["max_ms"] = crossingsMs.back();
}
BENCHMARK(PtyCrossing)->Iterations(3000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
