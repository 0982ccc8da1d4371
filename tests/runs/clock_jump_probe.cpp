// A ClockWatch on the real clocks, for the faketime test: prints "watching" once its timer runs,
// then "jump <ms>" for each jump, and ends when its standard input closes.

#include "runs/clock_watch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  runs::ClockWatch watch;
  QObject::connect(&watch, &runs::ClockWatch::clockJumped, [](qint64 ms) {
    std::printf("jump %lld\n", static_cast<long long>(ms));
    std::fflush(stdout);
  });
  watch.start();
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char byte;
    if (::read(STDIN_FILENO, &byte, 1) <= 0)
      app.quit();
  });
  std::printf("watching\n");
  std::fflush(stdout);
  return app.exec();
}
