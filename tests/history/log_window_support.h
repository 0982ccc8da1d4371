#pragma once

// What the log window's tests share: a two-run log written by the log writer, the window's
// controls by name, a reading waited for, and Berlin's clock.
#include "history/log_window.h"
#include "logging/log_writer.h"
#include "state/operator_messages.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

class RecordedMessages : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &) override { texts << text; }
  QStringList texts;
};

// Two runs written by the log writer: a simulated night over midnight at one record every
// 10 s, then a morning run appended under German settings.
inline void writeTwoRuns(const QString &path) {
  AcquisitionState s;
  logging::LogWriter writer(s);
  s.probe1Offset = 2.5777, s.probe2Offset = 2.5791, s.probe1Slope = 4.5427, s.probe2Slope = 4.55;
  s.probe1Serial = QStringLiteral("180312"), s.probe2Serial = QStringLiteral("A-7 spare");
  s.probe1CalDate = QDate(2026, 11, 30), s.probe2CalDate = QDate(2026, 12, 1);
  s.ph1Corr = 0.05, s.therm1Offset = -0.5, s.litersPerMin = 6;
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  writer.openLogFile(path, false);
  writer.writeLogHeader(QDate(2026, 12, 7), us);
  for (int i = 0; i < 1440; ++i) { // 22:00:00 to 01:59:50
    const double t = i / 1440.0;
    s.ph1Value = 7.0 + 0.3 * std::sin(6.28 * t), s.ph2Value = 7.1 + 0.25 * std::cos(6.28 * t);
    s.therm1Temp = 21 + t, s.therm2Temp = 22 - t, s.therm3Temp = 20.5;
    s.litersPerMin = 6 + std::sin(20 * t);
    writer.writeLogRecord(i == 0 ? QStringLiteral("000") : us.toString(i * 0.1, 'f', 1),
                          QTime(22, 0).addSecs(10 * i), us);
  }
  const QLocale de(QLocale::German, QLocale::Germany);
  s.probe1Offset = 2.5801;
  writer.openLogFile(path, true);
  writer.writeLogHeader(QDate(2026, 12, 8), de);
  for (int i = 0; i < 360; ++i) { // 08:00:00 to 08:59:50
    s.ph1Value = 6.8 + 0.001 * i, s.ph2Value = 6.9;
    writer.writeLogRecord(de.toString(150 + i * 0.1, 'f', 1), QTime(8, 0).addSecs(10 * i), de);
  }
  writer.closeLogFile();
}

inline history::LogWindowServices servicesWith(tiltdgh::OperatorMessages *messages) {
  history::LogWindowServices services;
  services.messages = messages;
  return services;
}

template <class T> T *find(QWidget &w, const char *name) {
  T *child = w.findChild<T *>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

inline bool openAndWait(history::LogWindow &window, const QString &path) {
  QSignalSpy read(&window, &history::LogWindow::fileRead);
  window.openFile(path);
  if (!read.wait(30000))
    return false;
  return read.first().first().toBool();
}

// The local clock of the log and the window is Berlin's, an hour ahead of UTC in December, for
// the length of a test.
class BerlinClock {
public:
  BerlinClock() : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ")) {
    qputenv("TZ", "Europe/Berlin");
    tzset();
  }
  ~BerlinClock() {
    if (m_had)
      qputenv("TZ", m_old);
    else
      qunsetenv("TZ");
    tzset();
  }

private:
  bool m_had;
  QByteArray m_old;
};

inline qint64 wall(int day, int h, int m) {
  return logging::wallSecondsOf(QDate(2026, 12, day), h * 3600 + m * 60);
}

} // namespace
