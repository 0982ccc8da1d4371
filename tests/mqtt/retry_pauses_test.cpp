#include "mqtt/retry_pauses.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 'f': an attempt failed (the pause before the next is taken); 'c': a connection succeeded.
TEST(RetryPauses, GrowToThirtySecondsAndStartAgainAtOneOnlyAfterAConnection) {
  const struct {
    const char *events;
    std::vector<int> pauses;
  } cases[] = {
      {"fffffff", {1, 2, 4, 8, 16, 30, 30}},
      {"fffcfff", {1, 2, 4, 1, 2, 4}},
      {"ffffffcf", {1, 2, 4, 8, 16, 30, 1}},
      {"cff", {1, 2}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.events);
    mqtt::RetryPauses pauses;
    std::vector<int> seen;
    for (const char *event = c.events; *event; ++event) {
      if (*event == 'c')
        pauses.reset();
      else
        seen.push_back(pauses.next());
    }
    EXPECT_EQ(seen, c.pauses);
  }
}

} // namespace
