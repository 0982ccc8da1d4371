#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The main() of the suites that build real windows: Qt's offscreen platform unless the caller
// chose one (a screenshot run under xvfb-run sets QT_QPA_PLATFORM=xcb), and the per-user settings
// and data in folders of the run's own, so the calibration store and history never read or write
// the user's.
int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  // The calibration history, which every Save appends to, goes there too.
  QTemporaryDir data;
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
