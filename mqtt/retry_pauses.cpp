#include "mqtt/retry_pauses.h"

#include <algorithm>

namespace mqtt {

int RetryPauses::next() {
  const int pause = m_next;
  m_next = std::min(m_next * 2, longest);
  return pause;
}

} // namespace mqtt
