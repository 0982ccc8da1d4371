#include <QCoreApplication>

#include <gtest/gtest.h>

// QProcess and QSerialPort want an application object, though nothing here runs its event loop.
int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
