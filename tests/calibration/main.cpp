#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
  // A screenshot run (BRELLIS_SCREENSHOT) may choose a real display, under xvfb-run.
  if (!qEnvironmentVariableIsSet("BRELLIS_SCREENSHOT"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
