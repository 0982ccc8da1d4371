// The station view's message model fed any sequence of messages: records of a one-byte topic
// length, the topic, a two-byte payload length (little-endian) and the payload, each arriving
// 100 ms after the one before. Whatever they hold, every message is either taken or counted as
// ignored, nothing but a finite number is ever shown, every station is named by one topic level,
// and the stations stay sorted by name.

#include "fuzz/fuzz_check.h"
#include "stations/station_model.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  stations::StationModel model("lab");
  const char *bytes = reinterpret_cast<const char *>(data);
  size_t at = 0;
  qint64 taken = 0;
  qint64 messages = 0;
  while (at < size) {
    const size_t topicSize = data[at++];
    if (at + topicSize + 2 > size)
      break;
    const QByteArray topic(bytes + at, qsizetype(topicSize));
    at += topicSize;
    size_t payloadSize = size_t(data[at]) | size_t(data[at + 1]) << 8;
    at += 2;
    payloadSize = std::min(payloadSize, size - at);
    QByteArray payload(bytes + at, qsizetype(payloadSize));
    at += payloadSize;
    // The top bit of the first payload byte, when set, stands for a payload over the limit.
    if (!payload.isEmpty() && (payload[0] & 0x80))
      payload.resize(stations::StationModel::maxPayload + 1, ' ');
    ++messages;
    const stations::Applied applied =
        model.apply({topic, payload, messages * 100, (messages & 1) != 0});
    if (applied.station) {
      ++taken;
      FUZZ_CHECK(!applied.station->name.isEmpty());
      FUZZ_CHECK(!applied.station->name.contains(QLatin1Char('/')));
      FUZZ_CHECK(topic.startsWith("lab/" + applied.station->name.toUtf8() + '/'));
      FUZZ_CHECK(payload.size() <= stations::StationModel::maxPayload);
      FUZZ_CHECK(topic.size() <= stations::StationModel::maxTopic);
      FUZZ_CHECK(applied.station->name.toUcs4().size() <= stations::StationModel::maxName);
      FUZZ_CHECK(stations::StationModel::nextChangeMs(*applied.station, messages * 100) >
                 messages * 100);
    }
  }
  FUZZ_CHECK(taken + model.garbageCount() == messages);
  FUZZ_CHECK(int(model.stations().size()) <= model.maxStations());
  const QString *previous = nullptr;
  for (const auto &[name, station] : model.stations()) {
    if (previous)
      FUZZ_CHECK(stations::StationModel::ByName()(*previous, name));
    previous = &name;
    FUZZ_CHECK(station.periodMs >= 0);
    for (int k = 0; k < stations::shownCount; ++k) {
      const stations::Value &value = station.shownValue(stations::Shown(k));
      FUZZ_CHECK(value.at < 0 || std::isfinite(value.value));
      (void)stations::StationModel::readingState(station, stations::Shown(k), messages * 100);
    }
    (void)stations::StationModel::stationState(station, messages * 100);
  }
  return 0;
}
