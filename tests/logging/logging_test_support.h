#pragma once

#include "state/operator_messages.h"
#include "logging/log_controller.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace logtest {

class RecordedMessages : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &title) override {
    texts << text;
    titles << title;
  }
  QStringList texts;
  QStringList titles;
};

inline QByteArray fileBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A main window stand-in: the timer, the liters text, the status bar and menu states the
// controller's signals set, and a clock the test moves.
struct Harness {
  Harness() {
    timer = new QTimer(&window);
    timer->setObjectName(QStringLiteral("tmrLogger"));
    timer->setInterval(0);
    timer->start();
    controller = std::make_unique<logging::LogController>(
        state, [this] { return liters; }, timer, messages, QStringLiteral("/opt/brellis/icons"),
        &window);
    controller->setClock([this] { return now; });
    controller->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QObject::connect(controller.get(), &logging::LogController::logFileTextChanged,
                     [this](const QString &t) { panel1 = t; });
    QObject::connect(controller.get(), &logging::LogController::statusChanged,
                     [this](const QString &t, const QString &p) {
                       panel4 = t;
                       picture = p;
                     });
    QObject::connect(controller.get(), &logging::LogController::setupEnabledChanged,
                     [this](bool e) { setupEnabled = e; });
    QObject::connect(controller.get(), &logging::LogController::stopEnabledChanged,
                     [this](bool e) { stopEnabled = e; });
    controller->announceState();
  }

  // True when everything says "not logging" with the file closed.
  ::testing::AssertionResult notLogging() const {
    if (timer->isActive())
      return ::testing::AssertionFailure() << "tmrLogger still runs";
    if (controller->isFileOpen())
      return ::testing::AssertionFailure() << "log file still open";
    if (panel4 != QStringLiteral("Not Logging") || !picture.endsWith("/redlight.bmp"))
      return ::testing::AssertionFailure() << "panel 4 shows " << panel4.toStdString();
    if (!setupEnabled || stopEnabled)
      return ::testing::AssertionFailure() << "menus in the logging state";
    return ::testing::AssertionSuccess();
  }

  QWidget window;
  AcquisitionState state;
  QString liters = QStringLiteral("000");
  QDateTime now{QDate(2026, 12, 7), QTime(14, 5, 9)};
  RecordedMessages messages;
  QTimer *timer = nullptr;
  std::unique_ptr<logging::LogController> controller;
  QString panel1 = QStringLiteral("unset");
  QString panel4;
  QString picture;
  bool setupEnabled = false;
  bool stopEnabled = true;
};

} // namespace logtest
