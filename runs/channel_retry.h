#pragma once

#include "state/quantities.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <map>

namespace runs {

// When nobody is there to switch a channel on again after a failure switched it off, this asks
// for it to be switched on retryMs later, and again retryMs after each further failure, until a
// reading comes or the operator switches the channel off. A failure episode runs from the first
// failure to the first reading after it: episodeStarted and channelBack come once per episode,
// however many retries it takes. The switch-on itself is the caller's (the same switch handling
// as the operator's click). Timers run on the owner's thread.
class ChannelRetry : public QObject {
  Q_OBJECT
public:
  static constexpr int defaultRetryMs = 10000;

  explicit ChannelRetry(int retryMs = defaultRetryMs, QObject *parent = nullptr);

  // A failure switched `channel` off. Opens an episode when none is open, and schedules a
  // switch-on unless one is already pending.
  void channelFailed(state::Channel channel, const QString &message);
  // A reading of `channel` was stored: an open episode ends, a pending switch-on is dropped.
  void readingArrived(state::Channel channel);
  // The operator switched `channel` off: no switch-on follows, the episode is forgotten.
  void operatorSwitchedOff(state::Channel channel);

  bool episodeOpen(state::Channel channel) const;
  bool retryPending(state::Channel channel) const;

signals:
  void episodeStarted(state::Channel channel, const QString &message);
  void switchOnRequested(state::Channel channel);
  void channelBack(state::Channel channel);

private:
  struct Slot {
    QTimer *timer = nullptr;
    bool episode = false;
  };
  // The channel's slot, made with its timer on first use.
  Slot &slot(state::Channel channel);

  int m_retryMs;
  std::map<state::Channel, Slot> m_slots;
};

} // namespace runs
