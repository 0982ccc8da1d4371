#pragma once

#include "sim/dgh_modules.h"

#include <deque>
#include <vector>

namespace sim {

// Characters on their way back to the host, in the order the line delivers them. The line
// carries one character at a time and keeps each burst (an echoed character, a reply) whole: a
// burst goes ahead of those not yet begun that start later, and never into one under way, so
// the characters of two replies never fall between each other (a late reply overtaken by a
// quicker one, or one still on the line when the next command's answer is ready).
class LineQueue {
public:
  // Adds what one call of DghModules::receive returned.
  void add(const std::vector<TimedByte> &batch);
  bool empty() const { return m_bytes.empty(); }
  size_t size() const { return m_bytes.size(); }
  const TimedByte &at(size_t index) const { return m_bytes[index]; }
  // Takes the next character; the rest of its burst has begun and keeps its place.
  TimedByte takeFront();
  void clear() { m_bytes.clear(); }

private:
  std::deque<TimedByte> m_bytes;
};

} // namespace sim
