#pragma once

namespace mqtt {

// The pauses between connection attempts: 1 s, then doubling up to 30 s, where they stay. Only a
// connection that succeeded starts them again at 1 s; a failed attempt, however it failed, never
// does.
class RetryPauses {
public:
  static constexpr int first = 1;
  static constexpr int longest = 30;

  // The pause, in seconds, before the next attempt.
  int next();
  // A connection succeeded.
  void reset() { m_next = first; }

private:
  int m_next = first;
};

} // namespace mqtt
