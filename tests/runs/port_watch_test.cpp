#include "runs/port_watch.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace runs;

namespace {

// The device path given, a plain name or a link such as a /dev/serial/by-id/ one, is looked up
// afresh at every look: it is back once what it names exists, a dangling link is not.
TEST(PortWatch, TheDeviceIsBackOnceItsPathResolvesToSomething) {
  QTemporaryDir dir;
  const QString device = dir.filePath("ttyUSB0");
  const QString link = dir.filePath("usb-FTDI_FT232R_A1-if00-port0");
  ASSERT_EQ(::symlink("ttyUSB0", QFile::encodeName(link).constData()), 0);
  for (const QString &watched : {device, link}) {
    PortWatch watch(5);
    QSignalSpy back(&watch, &PortWatch::deviceBack);
    watch.watch(watched);
    QTest::qWait(50); // several looks while the device is gone
    EXPECT_EQ(back.size(), 0) << qPrintable(watched);
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(back.wait(10000)) << qPrintable(watched);
    EXPECT_EQ(back.at(0).at(0).toString(), watched);
    EXPECT_FALSE(watch.isWatching());
    file.remove();
  }
}

} // namespace
