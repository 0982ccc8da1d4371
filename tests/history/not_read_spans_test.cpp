#include "history/run_events.h"

#include <gtest/gtest.h>

namespace {

using history::NotReadSpan;
using history::RunEvent;

constexpr int ph = 0, flow = 1, therm = 2, every = -1;

TEST(NotReadSpans, EachCauseOpensItsSpanAndItsOwnReturnOrTheRunsEndClosesIt) {
  struct Case {
    const char *name;
    std::vector<RunEvent> events;
    std::vector<NotReadSpan> spans;
  };
  const auto e = [](qint64 at, const char *event, const char *detail = "") {
    return RunEvent{at, QString::fromLatin1(event), QString::fromLatin1(detail), {}};
  };
  const Case cases[] = {
      {"a failure until the operator switches the channel on",
       {e(10, "channel_off", "flow"), e(15, "channel_off", "flow"), e(40, "channel_on", "flow")},
       {{flow, 10, 40, "switched off by a failure"}}},
      {"unattended: back when it answers, the other channel's return closes nothing",
       {e(10, "channel_off", "therm"), e(20, "channel_back", "ph"), e(30, "channel_back", "therm")},
       {{therm, 10, 30, "switched off by a failure"}}},
      {"the port lost until it is back",
       {e(5, "port_lost", "/dev/x"), e(9, "port_back", "/dev/x")},
       {{every, 5, 9, "port lost"}}},
      {"an answered box: every channel waited",
       {e(3, "message", "No valid return"), e(8, "message_answered")},
       {{every, 3, 8, "a message waiting"}}},
      {"an unattended message never waited", {e(3, "message", "No valid return")}, {}},
      {"still off at the journal's end runs to its end",
       {e(50, "channel_off", "ph")},
       {{ph, 50, 99, "switched off by a failure"}}},
      {"a resume closes what the killed run left open",
       {e(50, "channel_off", "ph"), e(60, "resumed", "after an unclean end")},
       {{ph, 50, 60, "switched off by a failure"}}},
      {"an unknown channel or event is left out",
       {e(1, "channel_off", "pressure"), e(2, "coffee", "ph")},
       {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<NotReadSpan> spans = history::notReadSpans(c.events, 99);
    ASSERT_EQ(spans.size(), c.spans.size());
    for (size_t i = 0; i < spans.size(); ++i) {
      EXPECT_EQ(spans[i].channel, c.spans[i].channel);
      EXPECT_EQ(spans[i].fromWall, c.spans[i].fromWall);
      EXPECT_EQ(spans[i].toWall, c.spans[i].toWall);
      EXPECT_EQ(spans[i].why, c.spans[i].why);
    }
  }
}

} // namespace
