// The station view against a real mosquitto, in this process on its own (offscreen) window:
//
// Flood: 20,000 junk station names in about a second, then 100,000 bad messages and 200 payloads
//   of 64 KiB + 1 (tests/stations/station_flood), then one sound station. Reports the longest wait
//   of a window ping (a call posted to the window's thread every 50 ms from another thread) over
//   the whole flood, the time from the sound station's status to its tile, and the resident
//   memory: its peak, and 5 s after the flood.
// Idle: 2,000 sound stations that published once and then nothing; the processor time the
//   process takes over 20 s once their readings have turned stale, in % of one core.
#include "tests/publish/broker.h"

#include "stations/station_tile.h"
#include "stations/station_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <atomic>
#include <sys/resource.h>
#include <thread>

namespace {

double rssMiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return -1;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Posts a call to the window's thread every 50 ms and keeps the longest it waited to be run.
class Pinger {
public:
  Pinger() {
    m_clock.start();
    m_thread = std::thread([this] {
      while (!m_stop) {
        if (!m_inFlight.exchange(true)) {
          const qint64 posted = m_clock.elapsed();
          m_posted = posted;
          QMetaObject::invokeMethod(qApp, [this, posted] {
            m_worst = std::max<qint64>(m_worst, m_clock.elapsed() - posted);
            ++m_answered;
            m_inFlight = false;
          }, Qt::QueuedConnection);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
  }
  ~Pinger() { stop(); }
  void stop() {
    m_stop = true;
    if (m_thread.joinable())
      m_thread.join();
    if (m_inFlight) // one never answered counts as long as it has waited
      m_worst = std::max<qint64>(m_worst, m_clock.elapsed() - m_posted);
  }
  qint64 worstMs() const { return m_worst; }
  int answered() const { return m_answered; }

private:
  QElapsedTimer m_clock;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_inFlight{false};
  std::atomic<qint64> m_posted{0};
  std::atomic<qint64> m_worst{0};
  std::atomic<int> m_answered{0};
};

qint64 longestRoundMs = 0; // the longest the window's thread spent in one round of its events

// Runs the window's events until `done` or `ms` pass, keeping the peak resident memory.
bool pump(const std::function<bool()> &done, int ms, double *peakMiB = nullptr) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QElapsedTimer round;
    round.start();
    // Waits for the next event: the bench itself costs no processor time between them.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    longestRoundMs = std::max(longestRoundMs, round.elapsed());
    if (peakMiB)
      *peakMiB = std::max(*peakMiB, rssMiB());
  }
  return done();
}

mqtt::Endpoint local(int port) {
  mqtt::Endpoint endpoint;
  endpoint.host = QStringLiteral("127.0.0.1");
  endpoint.port = port;
  return endpoint;
}

QProcess *startFlood(int port, const QStringList &arguments) {
  auto *publisher = new QProcess;
  publisher->setProcessChannelMode(QProcess::ForwardedChannels);
  publisher->start(QStringLiteral(STATION_FLOOD_PATH),
                   QStringList{QString::number(port), QStringLiteral("lab")} + arguments);
  return publisher;
}

void Flood(benchmark::State &state) {
  mosquitto_lib_init();
  for (auto _ : state) {
    const int port = brokertest::freePort();
    brokertest::Broker broker({QStringLiteral("listener %1 127.0.0.1").arg(port),
                               QStringLiteral("allow_anonymous true")});
    if (!broker.start()) {
      state.SkipWithError("no broker");
      return;
    }
    stations::StationWindow view(local(port), "lab");
    view.show();
    pump([&] { return view.statusText().startsWith("Receiving"); }, 30000);
    double peak = rssMiB();
    const double before = peak;
    Pinger pinger;
    longestRoundMs = 0;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProcess> flood(startFlood(port, {QStringLiteral("flood")}));
    pump([&] { return flood->state() == QProcess::NotRunning; }, 300000, &peak);
    const double floodSeconds = clock.elapsed() / 1000.0;
    // The sound station, sent from a thread of its own so the window's thread only takes it.
    clock.restart();
    std::thread fresh([port] { brokertest::publishMessages(port, {{"lab/fresh/status", "online"}}); });
    const bool appeared = pump([&] { return view.tile("fresh") != nullptr; }, 60000, &peak);
    const double appearedMs = double(clock.elapsed());
    pump([] { return false; }, 5000, &peak);
    pinger.stop();
    fresh.join(); // (its client waits for its acknowledgement a while: not on the window's time)
    state.counters["flood_s"] = floodSeconds;
    state.counters["ping_worst_ms"] = double(pinger.worstMs());
    state.counters["pings"] = pinger.answered();
    state.counters["longest_round_ms"] = double(longestRoundMs);
    state.counters["fresh_tile_ms"] = appeared ? appearedMs : -1;
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_peak_MiB"] = peak;
    state.counters["rss_after_MiB"] = rssMiB();
    state.counters["ignored"] = double(view.model().garbageCount());
    state.counters["stations"] = double(view.model().stations().size());
  }
}
BENCHMARK(Flood)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void Idle(benchmark::State &state) {
  mosquitto_lib_init();
  const int count = int(state.range(0));
  for (auto _ : state) {
    const int port = brokertest::freePort();
    brokertest::Broker broker({QStringLiteral("listener %1 127.0.0.1").arg(port),
                               QStringLiteral("allow_anonymous true")});
    if (!broker.start()) {
      state.SkipWithError("no broker");
      return;
    }
    stations::StationWindow view(local(port), "lab", count);
    view.show();
    pump([&] { return view.statusText().startsWith("Receiving"); }, 30000);
    std::unique_ptr<QProcess> honest(
        startFlood(port, {QStringLiteral("honest"), QString::number(count)}));
    pump([&] { return honest->state() == QProcess::NotRunning &&
                      int(view.model().stations().size()) == count; },
         300000);
    // Past the ten seconds after which readings of an unknown period turn stale: the steady
    // state of stations that say nothing more.
    pump([] { return false; }, 15000);
    const double cpu = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    pump([] { return false; }, 20000);
    state.counters["stations"] = double(view.model().stations().size());
    state.counters["cpu_%_of_a_core"] = 100.0 * (cpuSeconds() - cpu) / (clock.elapsed() / 1000.0);
    state.counters["rss_MiB"] = rssMiB();
  }
}
BENCHMARK(Idle)->Arg(2000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
