// Logs to the file named on the command line every 100 ms, through the log controller and its
// timer as the main window runs them, until it is killed. After each tick it prints
// "written <n>" on standard output, n being the records handed to the system so far; record n
// carries n in its Therm1 column. "failed" means logging stopped on an error.

#include "logging/log_controller.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

class PrintedMessages final : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &) override {
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
};

} // namespace

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: log_kill_child LOGFILE\n");
    return 2;
  }
  AcquisitionState state;
  state.therm1Temp = 1; // the first record's number
  state.ph1mV = 2577.7;
  QTimer tmrLogger;
  PrintedMessages messages;
  logging::LogController controller(
      state, [] { return QStringLiteral("12.5"); }, &tmrLogger, messages, QString(), nullptr);
  controller.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));

  int written = 0;
  // Connected after the controller's own connection, so it runs after the record is written.
  QObject::connect(&tmrLogger, &QTimer::timeout, [&] {
    if (!controller.isLogging()) {
      std::printf("failed\n");
      std::fflush(stdout);
      QCoreApplication::exit(1);
      return;
    }
    ++written;
    state.therm1Temp = written + 1;
    std::printf("written %d\n", written);
    std::fflush(stdout);
  });
  controller.startLogging(
      logging::LogChoice{true, false, QString::fromLocal8Bit(argv[1]), /*intervalMs=*/100});
  if (!controller.isLogging())
    return 1;
  return app.exec();
}
