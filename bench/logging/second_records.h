#pragma once

// A log file of one run with a record every second from Monday 7 December 2026 00:00:00, written
// by the log format's own functions: simulated readings that change every second, the total
// growing. A week is 604 800 records, about 60 MB. With `perSecond` 10 the records come ten a
// second (the fastest logging rate), each second's ten under one time of day, as the writer
// stamps them.
#include "logging/log_format.h"

#include <QFile>
#include <QString>

#include <cmath>

inline bool writeSecondRecords(const QString &path, int seconds, int perSecond = 1) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly))
    return false;
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  AcquisitionState s;
  s.probe1Offset = s.probe2Offset = 2.5777;
  s.probe1Slope = s.probe2Slope = 4.5427;
  s.probe1Serial = s.probe2Serial = QStringLiteral("180312");
  s.probe1CalDate = s.probe2CalDate = QDate(2001, 1, 1);
  s.ph1Corr = 0.05;
  s.therm2Offset = -0.25;
  f.write(logging::logHeaderText(s, QDate(2026, 12, 7), us).toLatin1());
  QByteArray chunk;
  for (qint64 k = 0; k < qint64(seconds) * perSecond; ++k) {
    const int i = int(k / perSecond);
    const double t = double(k) / perSecond / 3600.0;
    s.therm1Temp = std::round((21 + std::sin(t)) * 100) / 100;
    s.therm2Temp = std::round((22 + std::cos(t)) * 100) / 100;
    s.therm3Temp = 20.5;
    s.ph1mV = std::round((2577.7 + 10 * std::sin(t / 3)) * 100) / 100;
    s.ph2mV = 2580.12;
    s.ph1Value = std::round((7 + 0.2 * std::sin(t / 3)) * 10000) / 10000;
    s.ph2Value = 7.0213;
    s.flowHz = 1234.5;
    s.litersPerMin = 10.73;
    const QString liters = QString::number(std::round(double(k) / perSecond * 17.89) / 100, 'f', 2);
    chunk += logging::logRecordText(s, liters, QTime(0, 0).addSecs(i % 86400), us).toLatin1();
    if (chunk.size() > (1 << 20)) {
      f.write(chunk);
      chunk.clear();
    }
  }
  f.write(chunk);
  return f.error() == QFileDevice::NoError;
}
