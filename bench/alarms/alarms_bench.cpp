#include "alarms/alarm_monitor.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

using namespace alarms;

namespace {

AlarmSettings everyLimitOn() {
  AlarmSettings settings;
  for (Limits &limits : settings.limits)
    limits = Limits{-1000.0, 1000.0, 0.5, 10};
  settings.noReadingSeconds = {30, 30, 30};
  return settings;
}

// One read tick with every channel on: the ten readings, all inside their limits, and the tick
// that looks at silences and shelves.
template <typename Sink> void readTick(Sink &&reading, qint64 nowMs) {
  for (int q = 0; q < state::quantityCount; ++q)
    reading(static_cast<state::Quantity>(q), 7.0 + q * 0.01 + (nowMs % 7) * 0.001);
}

void EngineAllQuantities(benchmark::State &run) {
  AlarmEngine engine;
  engine.setSettings(everyLimitOn(), 0);
  for (int c = 0; c < state::channelCount; ++c)
    engine.channelSwitched(static_cast<state::Channel>(c), true, 0);
  qint64 now = 0;
  for (auto _ : run) {
    now += 100;
    readTick([&](state::Quantity q, double v) { engine.reading(q, v, now); }, now);
    engine.tick(now);
  }
}
BENCHMARK(EngineAllQuantities);

// The same through the monitor's slots, as the window runs it: the displayed value from the
// readings record, the clock, the engine.
void MonitorAllQuantities(benchmark::State &run) {
  QTemporaryDir dir;
  AcquisitionState state;
  AlarmMonitor::Options options;
  options.journalPath = dir.filePath("alarms.csv");
  const QString store = dir.filePath("store.ini");
  options.store = [store] { return std::make_unique<QSettings>(store, QSettings::IniFormat); };
  AlarmMonitor monitor(state, options);
  monitor.setSettings(everyLimitOn());
  for (int c = 0; c < state::channelCount; ++c)
    monitor.channelSwitched(static_cast<state::Channel>(c), true);
  const QDateTime time = QDateTime::currentDateTime();
  qint64 tick = 0;
  for (auto _ : run) {
    ++tick;
    readTick(
        [&](state::Quantity q, double v) {
          monitor.readingStored({q, v, state::corrected(state::info(q), v, state), {}, {}, time});
        },
        tick);
    monitor.tick();
  }
}
BENCHMARK(MonitorAllQuantities);

} // namespace
