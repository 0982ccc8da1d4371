// The Win32 serial line's open: the two conditions the operator is told about. A port to open
// for real comes from BRELLIS_TEST_COM_PORT (scripts/check-windows links Wine's COM2 to a
// pseudo-terminal); without it that case is skipped.
#include "instrument/system_line.h"

#include <gtest/gtest.h>

namespace {

TEST(Win32SerialLine, APortThatDoesNotExistIsTheInvalidPortCondition) {
  const struct {
    int port;
    QString device; // empty: the default COMN
  } cases[] = {{0, {}}, {-3, {}}, {250, {}}, {7, "COM251"}, {8, "\\\\.\\COM252"}};
  for (const auto &c : cases) {
    tiltdgh::PortDevices devices;
    if (!c.device.isEmpty())
      devices.map(c.port, c.device);
    const auto line = tiltdgh::makeSystemLine(devices);
    line->setCommPort(c.port);
    EXPECT_EQ(line->open(), tiltdgh::PortError::InvalidPort) << c.port;
    EXPECT_FALSE(line->portOpen()) << c.port;
    EXPECT_NE(line->lastErrorText(), QString()) << c.port;
    EXPECT_EQ(line->inBufferCount(), 0);
    EXPECT_EQ(line->input(), QByteArray());
  }
}

TEST(Win32SerialLine, APortThatIsOpenIsInUseForEveryOtherOpenUntilClosed) {
  const int port = qEnvironmentVariableIntValue("BRELLIS_TEST_COM_PORT");
  if (port < 1)
    GTEST_SKIP() << "BRELLIS_TEST_COM_PORT names no port";
  const auto first = tiltdgh::makeSystemLine({});
  const auto second = tiltdgh::makeSystemLine({});
  first->setCommPort(port);
  second->setCommPort(port);
  ASSERT_EQ(first->open(), tiltdgh::PortError::None) << first->lastErrorText().toStdString();
  EXPECT_EQ(first->open(), tiltdgh::PortError::PortInUse);
  EXPECT_EQ(second->open(), tiltdgh::PortError::PortInUse);
  EXPECT_TRUE(first->portOpen());
  first->close();
  EXPECT_EQ(second->open(), tiltdgh::PortError::None) << second->lastErrorText().toStdString();
}

} // namespace
