#include "common/login_name.h"

#include <gtest/gtest.h>

#include <QByteArray>

namespace {

// Windows sets only USERNAME; a journal that names nobody there loses who acknowledged.
TEST(LoginName, TakesUserThenLognameThenUsername) {
  const char *names[] = {"USER", "LOGNAME", "USERNAME"};
  QByteArray saved[3];
  for (int i = 0; i < 3; ++i)
    saved[i] = qgetenv(names[i]);
  const struct {
    const char *user, *logname, *username, *expected;
  } cases[] = {{"ada", "bob", "cy", "ada"},
               {"", "bob", "cy", "bob"},
               {"", "", "cy", "cy"},
               {"", "", "", ""}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.expected);
    const char *values[] = {c.user, c.logname, c.username};
    for (int i = 0; i < 3; ++i)
      *values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
    EXPECT_EQ(common::loginName().toStdString(), c.expected);
  }
  for (int i = 0; i < 3; ++i)
    saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
}

} // namespace
