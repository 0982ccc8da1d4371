#pragma once

#include "stations/station_model.h"

#include <QByteArrayView>

#include <mutex>
#include <vector>

namespace stations {

// Messages between the network thread, which puts them in as they arrive, and the window, which
// takes them all at once at its own pace. Holds at most `capacity` messages and `capacityBytes`
// of topics and payloads: a window that cannot keep up loses the newest, counted, rather than
// memory without bound.
class Inbox {
public:
  static constexpr std::size_t capacity = 100000;
  static constexpr qsizetype capacityBytes = 32 * 1024 * 1024;

  // Network thread. A payload over StationModel::maxPayload is cut to one byte more than that,
  // and a topic over StationModel::maxTopic likewise: enough for the model to refuse them,
  // without copying what may be megabytes.
  void put(QByteArrayView topic, QByteArrayView payload, bool retained, qint64 receivedMs) {
    const qsizetype keptPayload = std::min(payload.size(), StationModel::maxPayload + 1);
    const qsizetype keptTopic = std::min(topic.size(), StationModel::maxTopic + 1);
    const qsizetype bytes = keptPayload + keptTopic;
    const std::lock_guard lock(m_mutex);
    if (m_messages.size() >= capacity || m_bytes + bytes > capacityBytes) {
      ++m_lost;
      return;
    }
    m_bytes += bytes;
    m_messages.push_back({QByteArray(topic.data(), keptTopic),
                          QByteArray(payload.data(), keptPayload), receivedMs, retained});
  }

  // Window thread: every message waiting, oldest first, in place of `into`'s contents.
  void takeAll(std::vector<Incoming> &into) {
    into.clear();
    const std::lock_guard lock(m_mutex);
    m_messages.swap(into);
    m_bytes = 0;
  }

  qint64 lost() const {
    const std::lock_guard lock(m_mutex);
    return m_lost;
  }

private:
  mutable std::mutex m_mutex;
  std::vector<Incoming> m_messages;
  qsizetype m_bytes = 0;
  qint64 m_lost = 0;
};

} // namespace stations
