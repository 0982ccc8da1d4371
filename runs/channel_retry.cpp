#include "runs/channel_retry.h"

namespace runs {

ChannelRetry::ChannelRetry(int retryMs, QObject *parent) : QObject(parent) {
  for (std::size_t i = 0; i < m_slots.size(); ++i) {
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(retryMs);
    const auto channel = state::Channel(i);
    connect(timer, &QTimer::timeout, this, [this, channel] { emit switchOnRequested(channel); });
    m_slots[i].timer = timer;
  }
}

void ChannelRetry::channelFailed(state::Channel channel, const QString &message) {
  Slot &s = slot(channel);
  if (!s.episode) {
    s.episode = true;
    emit episodeStarted(channel, message);
  }
  if (!s.timer->isActive())
    s.timer->start();
}

void ChannelRetry::readingArrived(state::Channel channel) {
  Slot &s = slot(channel);
  s.timer->stop();
  if (!s.episode)
    return;
  s.episode = false;
  emit channelBack(channel);
}

void ChannelRetry::operatorSwitchedOff(state::Channel channel) {
  Slot &s = slot(channel);
  s.timer->stop();
  s.episode = false;
}

bool ChannelRetry::episodeOpen(state::Channel channel) const { return slot(channel).episode; }

bool ChannelRetry::retryPending(state::Channel channel) const {
  return slot(channel).timer->isActive();
}

} // namespace runs
