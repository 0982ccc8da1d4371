// Load for the station view: N stations publishing through libmosquitto to a real broker, each a
// full read tick (every reading and corrected reading a publishing Brellis sends) every P ms, with
// its retained status, switches and alarms (every tenth station's pH 1 alarm raised and returned
// in turn every 10 s). With the view's process id, it samples that process's
// processor time and resident memory from /proc every S seconds and prints one line per sample:
//
//   station_load PORT STATIONS PERIOD_MS SECONDS [VIEW_PID SAMPLE_SECONDS]
//
// Output: "t_s cpu_percent_of_one_core rss_kib messages_sent".
#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char *const readingTopics[] = {
    "ph1/mV",         "ph1/value",         "ph2/mV",         "ph2/value",
    "therm1/celsius", "therm2/celsius",    "therm3/celsius", "flow/hz",
    "flow/liters_per_min", "flow/total_liters", "ph1/corrected", "ph2/corrected",
    "therm1/celsius_with_offset", "therm2/celsius_with_offset", "therm3/celsius_with_offset",
};

const char *const alarmKeys[] = {"ph1",    "ph2",  "therm1", "therm2", "therm3",
                                  "flow_L_per_min", "ph", "flow", "therm"};
const char *const normalAlarm =
    R"({"state":"normal","condition":null,"value":null,"limit":null,"since":null})";
const char *const raisedAlarm =
    R"({"state":"active_unacknowledged","condition":"high","value":8.31,"limit":8.2,)"
    R"("since":"2026-12-09T03:12:45Z"})";

// Processor seconds (user + system) and resident KiB of a process.
bool sample(long pid, double &cpuSeconds, long &rssKiB) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return false;
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int k = 3; k <= 15 && fields >> field; ++k) {
    if (k == 14)
      utime = std::stoull(field);
    if (k == 15)
      stime = std::stoull(field);
  }
  cpuSeconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0)
      rssKiB = std::atol(line.c_str() + 6);
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PORT STATIONS PERIOD_MS SECONDS [VIEW_PID SAMPLE_SECONDS]\n",
                 argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int stations = std::atoi(argv[2]);
  const int periodMs = std::atoi(argv[3]);
  const int seconds = std::atoi(argv[4]);
  const long viewPid = argc > 5 ? std::atol(argv[5]) : 0;
  const int sampleSeconds = argc > 6 ? std::atoi(argv[6]) : 10;

  mosquitto_lib_init();
  std::vector<mosquitto *> clients;
  for (int s = 0; s < stations; ++s) {
    mosquitto *client = mosquitto_new(nullptr, true, nullptr);
    const std::string prefix = "load/station" + std::to_string(100 + s) + "/";
    const std::string status = prefix + "status";
    mosquitto_will_set(client, status.c_str(), 7, "offline", 1, true);
    if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
      std::fprintf(stderr, "cannot connect to the broker on port %d\n", port);
      return 1;
    }
    mosquitto_loop_start(client);
    mosquitto_publish(client, nullptr, status.c_str(), 6, "online", 1, true);
    for (const char *channel : {"ph", "flow", "therm"}) {
      const std::string topic = prefix + "switch/" + channel;
      mosquitto_publish(client, nullptr, topic.c_str(), 2, "on", 1, true);
    }
    for (const char *alarm : alarmKeys) {
      const std::string topic = prefix + "alarm/" + alarm;
      mosquitto_publish(client, nullptr, topic.c_str(), int(std::strlen(normalAlarm)), normalAlarm,
                        1, true);
    }
    clients.push_back(client);
  }

  using clock = std::chrono::steady_clock;
  const auto start = clock::now();
  auto nextTick = start;
  auto nextSample = start + std::chrono::seconds(sampleSeconds);
  double cpuBefore = 0;
  long rss = 0;
  if (viewPid)
    sample(viewPid, cpuBefore, rss);
  long long sent = 0;
  long tick = 0;
  char payload[160];
  while (clock::now() - start < std::chrono::seconds(seconds)) {
    for (int s = 0; s < stations; ++s) {
      const std::string prefix = "load/station" + std::to_string(100 + s) + "/";
      for (const char *topic : readingTopics) {
        const double value = 7 + 0.001 * double((tick + s) % 100);
        const int size = std::snprintf(payload, sizeof payload,
                                       "{\"value\":%.4f,\"unit\":\"pH\",\"time\":"
                                       "\"2026-12-09T03:00:00.000Z\"}",
                                       value);
        const std::string full = prefix + topic;
        if (mosquitto_publish(clients[size_t(s)], nullptr, full.c_str(), size, payload, 0,
                              false) == MOSQ_ERR_SUCCESS)
          ++sent;
      }
    }
    const long alarmTicks = std::max(1, 10000 / periodMs); // ticks in 10 s
    if (tick % alarmTicks == 0)
      for (int s = 0; s < stations; s += 10) {
        const std::string topic = "load/station" + std::to_string(100 + s) + "/alarm/ph1";
        const char *alarm = (tick / alarmTicks) % 2 ? normalAlarm : raisedAlarm;
        mosquitto_publish(clients[size_t(s)], nullptr, topic.c_str(), int(std::strlen(alarm)),
                          alarm, 1, true);
      }
    ++tick;
    nextTick += std::chrono::milliseconds(periodMs);
    std::this_thread::sleep_until(nextTick);
    if (viewPid && clock::now() >= nextSample) {
      double cpu = 0;
      if (!sample(viewPid, cpu, rss)) {
        std::fprintf(stderr, "the view (pid %ld) has gone\n", viewPid);
        return 1;
      }
      const double t = std::chrono::duration<double>(clock::now() - start).count();
      std::printf("%.0f %.2f %ld %lld\n", t, 100.0 * (cpu - cpuBefore) / sampleSeconds, rss, sent);
      std::fflush(stdout);
      cpuBefore = cpu;
      nextSample += std::chrono::seconds(sampleSeconds);
    }
  }
  for (mosquitto *client : clients) {
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
  }
  return 0;
}
