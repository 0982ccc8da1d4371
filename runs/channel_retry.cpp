#include "runs/channel_retry.h"

namespace runs {

ChannelRetry::ChannelRetry(int retryMs, QObject *parent) : QObject(parent), m_retryMs(retryMs) {}

ChannelRetry::Slot &ChannelRetry::slot(state::Channel channel) {
  Slot &s = m_slots[channel];
  if (!s.timer) {
    s.timer = new QTimer(this);
    s.timer->setSingleShot(true);
    s.timer->setTimerType(Qt::PreciseTimer);
    s.timer->setInterval(m_retryMs);
    connect(s.timer, &QTimer::timeout, this, [this, channel] { emit switchOnRequested(channel); });
  }
  return s;
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

bool ChannelRetry::episodeOpen(state::Channel channel) const {
  const auto it = m_slots.find(channel);
  return it != m_slots.end() && it->second.episode;
}

bool ChannelRetry::retryPending(state::Channel channel) const {
  const auto it = m_slots.find(channel);
  return it != m_slots.end() && it->second.timer->isActive();
}

} // namespace runs
