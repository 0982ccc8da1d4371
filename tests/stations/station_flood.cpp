// Publishes what anyone allowed under a base topic could send a station view, as fast as the
// broker takes it (QoS 0), then ends once the broker has all of it.
//
//   station_flood PORT BASE flood     20,000 junk station names in about a second (8 bytes each on
//                                     a topic no tile shows), then 100,000 bad messages (bad JSON,
//                                     topics over 256 bytes, names over 64 characters, bad words)
//                                     and 200 payloads of 64 KiB + 1
//   station_flood PORT BASE honest N  N sound stations: status online and one of each reading
//   station_flood PORT BASE status N  N sound stations "sNNNNN", status online only
#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::atomic<bool> acknowledged{false};
int markerId = -1;

void onPublish(mosquitto *, void *, int mid) {
  if (mid == markerId)
    acknowledged = true;
}

void publish(mosquitto *mosq, const std::string &topic, const std::string &payload) {
  // The client's queue is unbounded: wait while it is long, so the flood is paced by the broker.
  while (mosquitto_publish(mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), 0,
                           false) == MOSQ_ERR_NOMEM)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void flood(mosquitto *mosq, const std::string &base) {
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < 20000; ++k) {
    publish(mosq, base + "/junk" + std::to_string(k) + "/ph1/calibration", "8 bytes!");
    // About a second for the whole of it.
    if (k % 1000 == 999)
      std::this_thread::sleep_until(start + std::chrono::milliseconds(50 * (k + 1) / 1000));
  }
  const std::string longName(65, 'n');
  const std::string longTopic = base + "/" + std::string(300, 't') + "/status";
  for (int k = 0; k < 100000; ++k) {
    const std::string name = base + "/bad" + std::to_string(k % 5000);
    switch (k % 5) {
    case 0: publish(mosq, name + "/ph1/value", "{\"value\":7.1"); break;
    case 1: publish(mosq, name + "/ph1/value", "{\"value\":NaN}"); break;
    case 2: publish(mosq, name + "/status", "Online"); break;
    case 3: publish(mosq, base + "/" + longName + std::to_string(k) + "/status", "online"); break;
    case 4: publish(mosq, longTopic, "online"); break;
    }
  }
  const std::string big(64 * 1024 + 1, 'x');
  for (int k = 0; k < 200; ++k)
    publish(mosq, base + "/big" + std::to_string(k) + "/ph1/value", big);
}

void stations(mosquitto *mosq, const std::string &base, int count, bool readings) {
  static const char *const topics[] = {"ph1/value",      "ph2/value",           "therm1/celsius",
                                       "therm2/celsius", "therm3/celsius",      "flow/liters_per_min",
                                       "flow/total_liters"};
  for (int k = 0; k < count; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "s%05d", k);
    const std::string prefix = base + "/" + name + "/";
    publish(mosq, prefix + "status", "online");
    if (readings)
      for (const char *topic : topics)
        publish(mosq, prefix + topic, "{\"value\":7.25,\"unit\":\"x\"}");
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: station_flood PORT BASE flood|honest N|status N\n");
    return 2;
  }
  const std::string base = argv[2];
  const std::string what = argv[3];
  mosquitto_lib_init();
  mosquitto *mosq = mosquitto_new(nullptr, true, nullptr);
  mosquitto_publish_callback_set(mosq, onPublish);
  if (mosquitto_connect(mosq, "127.0.0.1", std::atoi(argv[1]), 30) != MOSQ_ERR_SUCCESS ||
      mosquitto_loop_start(mosq) != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "station_flood: cannot reach the broker\n");
    return 1;
  }
  if (what == "flood")
    flood(mosq, base);
  else
    stations(mosq, base, argc > 4 ? std::atoi(argv[4]) : 1, what == "honest");
  // One message with QoS 1 behind the rest: once it is acknowledged, the broker has them all.
  mosquitto_publish(mosq, &markerId, (base + "/end/marker").c_str(), 1, "x", 1, false);
  for (int k = 0; k < 120000 && !acknowledged; ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  mosquitto_disconnect(mosq);
  mosquitto_loop_stop(mosq, false);
  mosquitto_destroy(mosq);
  return acknowledged ? 0 : 1;
}
