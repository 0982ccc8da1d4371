#include "sim/line_queue.h"

namespace sim {

void LineQueue::add(const std::vector<TimedByte> &batch) {
  size_t from = 0; // the batch's own bursts keep their order
  for (size_t first = 0; first < batch.size();) {
    size_t end = first + 1;
    while (end < batch.size() && !batch[end].startsBurst)
      ++end;
    // Before the first burst not yet begun that starts later; times wrap, so they are compared
    // as differences.
    size_t where = from;
    while (where < m_bytes.size() &&
           !(m_bytes[where].startsBurst && qint32(m_bytes[where].at - batch[first].at) > 0))
      ++where;
    m_bytes.insert(m_bytes.begin() + qsizetype(where), batch.begin() + qsizetype(first),
                   batch.begin() + qsizetype(end));
    from = where + (end - first);
    first = end;
  }
}

TimedByte LineQueue::takeFront() {
  // The rest of a burst that has begun do not start one, so nothing goes between them.
  const TimedByte front = m_bytes.front();
  m_bytes.pop_front();
  return front;
}

} // namespace sim
