#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The main() of the suites that build real windows: Qt's offscreen platform unless the caller
// chose one (a screenshot run under xvfb-run sets QT_QPA_PLATFORM=xcb), and the per-user settings
// in a folder of the run's own, so the calibration store never reads or writes the user's.
int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
