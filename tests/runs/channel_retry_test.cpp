#include "runs/channel_retry.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace runs;
using state::Channel;

namespace {

constexpr int retryMs = 20;

std::vector<Channel> channelsOf(const QSignalSpy &spy) {
  std::vector<Channel> channels;
  for (const QList<QVariant> &arguments : spy)
    channels.push_back(arguments.at(0).value<Channel>());
  return channels;
}

TEST(ChannelRetry, RetriesWhileItFailsButJournalsOneEpisode) {
  ChannelRetry retry(retryMs);
  QSignalSpy started(&retry, &ChannelRetry::episodeStarted);
  QSignalSpy switchOn(&retry, &ChannelRetry::switchOnRequested);
  QSignalSpy back(&retry, &ChannelRetry::channelBack);

  retry.channelFailed(Channel::Therm, "No valid return from thermistor 2");
  for (int attempt = 1; attempt <= 3; ++attempt) {
    ASSERT_TRUE(switchOn.wait(10000)) << "attempt " << attempt;
    EXPECT_EQ(channelsOf(switchOn), std::vector<Channel>(attempt, Channel::Therm));
    EXPECT_FALSE(retry.retryPending(Channel::Therm)); // none until it fails again
    retry.channelFailed(Channel::Therm, "No valid return from thermistor 2");
  }
  ASSERT_EQ(started.size(), 1);
  EXPECT_EQ(started[0].at(1).toString(), "No valid return from thermistor 2");

  retry.channelFailed(Channel::Ph, "pH module 1 silent"); // a second channel on its own
  retry.readingArrived(Channel::Therm);
  EXPECT_EQ(channelsOf(back), std::vector<Channel>{Channel::Therm});
  EXPECT_FALSE(retry.retryPending(Channel::Therm));
  EXPECT_TRUE(retry.retryPending(Channel::Ph));
  retry.readingArrived(Channel::Therm); // no episode open: nothing more
  EXPECT_EQ(back.size(), 1);

  retry.channelFailed(Channel::Therm, "again"); // a new episode
  EXPECT_EQ(channelsOf(started), (std::vector{Channel::Therm, Channel::Ph, Channel::Therm}));
}

TEST(ChannelRetry, TheOperatorSwitchingOffEndsTheRetriesWithoutAChannelBack) {
  ChannelRetry retry(retryMs);
  QSignalSpy started(&retry, &ChannelRetry::episodeStarted);
  QSignalSpy back(&retry, &ChannelRetry::channelBack);
  retry.channelFailed(Channel::Flow, "Flow module silent");
  ASSERT_TRUE(retry.retryPending(Channel::Flow));
  retry.operatorSwitchedOff(Channel::Flow);
  EXPECT_FALSE(retry.retryPending(Channel::Flow));
  EXPECT_FALSE(retry.episodeOpen(Channel::Flow));
  retry.readingArrived(Channel::Flow); // switched on by hand later, and reading
  EXPECT_EQ(back.size(), 0);
  retry.channelFailed(Channel::Flow, "Flow module silent");
  EXPECT_EQ(started.size(), 2);
}

} // namespace
