#pragma once

#include "stations/station_model.h"

#include <QByteArrayView>

#include <mutex>
#include <vector>

namespace stations {

// Messages between the network thread, which puts them in as they arrive, and the window, which
// takes them all at once at its own pace. Holds at most `capacity` messages: a window that cannot
// keep up loses the newest, counted, rather than memory without bound.
class Inbox {
public:
  static constexpr std::size_t capacity = 100000;

  // Network thread. A payload over StationModel::maxPayload is cut to one byte more than that:
  // enough for the model to refuse it, without copying what may be megabytes.
  void put(QByteArrayView topic, QByteArrayView payload, bool retained, qint64 receivedMs) {
    const qsizetype kept = std::min(payload.size(), StationModel::maxPayload + 1);
    const std::lock_guard lock(m_mutex);
    if (m_messages.size() >= capacity) {
      ++m_lost;
      return;
    }
    m_messages.push_back(
        {QByteArray(topic.data(), topic.size()), QByteArray(payload.data(), kept), receivedMs, retained});
  }

  // Window thread: every message waiting, oldest first, in place of `into`'s contents.
  void takeAll(std::vector<Incoming> &into) {
    into.clear();
    const std::lock_guard lock(m_mutex);
    m_messages.swap(into);
  }

  qint64 lost() const {
    const std::lock_guard lock(m_mutex);
    return m_lost;
  }

private:
  mutable std::mutex m_mutex;
  std::vector<Incoming> m_messages;
  qint64 m_lost = 0;
};

} // namespace stations
