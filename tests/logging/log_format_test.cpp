#include "logging/log_format.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);
const QLocale kGermany(QLocale::German, QLocale::Germany);
const QLocale kFinland(QLocale::Finnish, QLocale::Finland);

// The coefficients a first start loads from an empty settings store; every reading still 0.
AcquisitionState defaultState() {
  AcquisitionState s;
  s.probe1Offset = s.probe2Offset = 2.5777;
  s.probe1Slope = s.probe2Slope = 4.5427;
  s.probe1Serial = s.probe2Serial = QStringLiteral("180312");
  s.probe1CalDate = s.probe2CalDate = QDate(2001, 1, 1);
  return s;
}

TEST(LogFormat, HeaderAndFirstRecordMatchTheDocumentedExampleByteForByte) {
  const AcquisitionState s = defaultState();
  const QString text =
      logging::logHeaderText(s, QDate(2026, 12, 7), kUnitedStates) +
      logging::logRecordText(s, QStringLiteral("000"), QTime(14, 5, 9), kUnitedStates);
  const QString expected = QStringLiteral(
      "\r\n"
      "\"Brellis DGH Contoller Logging Program\"\r\n"
      "\"Version: 2.4.1\"\r\n"
      "\r\n"
      "\"Date: \",#2026-12-07#\r\n"
      "\"Probe 1 Offset: 2.5777\"\r\n"
      "\"Probe 2 Offset: 2.5777\"\r\n"
      "\"Probe 1 Slope: 4.5427\"\r\n"
      "\"Probe 2 Slope: 4.5427\"\r\n"
      "\"Probe 1 Serial Number: 180312\"\r\n"
      "\"Probe 2 Serial Number: 180312\"\r\n"
      "\"Probe 1 Calibration Date: 1/1/2001\"\r\n"
      "\"Probe 2 Calibration Date: 1/1/2001\"\r\n"
      "\r\n"
      "\"Time, Therm1, Therm2, Therm3, pH-1 mV, pH-2 mV, pH-1 value, pH-2 value, Flow "
      "frequency, liters/min, Total Liters, Therm 1 offset, Therm 2 offset, Therm 3 offset, "
      "pH1 corr, pH2 corr\"\r\n"
      "\r\n"
      "\"14:05:09\",0,0,0,0,0,0,0,0,0,\"000\",0,0,0,0,0\r\n");
  EXPECT_EQ(text.toStdString(), expected.toStdString());
}

TEST(LogFormat, HeaderTakesTheLocaleForValuesAndKeepsTheDateItemFixed) {
  AcquisitionState s = defaultState();
  s.probe1Offset = -0.5;
  s.probe2Slope = 4.5;
  const QStringList lines =
      logging::logHeaderText(s, QDate(2027, 1, 31), kGermany).split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 17); // 16 lines and the empty rest after the last CR LF
  EXPECT_EQ(lines[4], QStringLiteral("\"Date: \",#2027-01-31#"));
  EXPECT_EQ(lines[5], QStringLiteral("\"Probe 1 Offset: -0,5\""));
  EXPECT_EQ(lines[6], QStringLiteral("\"Probe 2 Offset: 2,5777\""));
  EXPECT_EQ(lines[8], QStringLiteral("\"Probe 2 Slope: 4,5\""));
  EXPECT_EQ(lines[11], QStringLiteral("\"Probe 1 Calibration Date: 01.01.2001\""));
  EXPECT_EQ(lines[16], QString());
}

TEST(LogFormat, RecordItems) {
  AcquisitionState readings;
  readings.therm1Temp = 21.37;
  readings.therm2Temp = -3.5;
  readings.therm3Temp = 100;
  readings.ph1mV = 2577.7;
  readings.ph2mV = -12.25;
  readings.ph1Value = 7.0123;
  readings.ph2Value = 6.9;
  readings.flowHz = 1234.5;
  readings.litersPerMin = 10.73;
  readings.therm1Offset = -0.5;
  readings.therm2Offset = 0.25;
  readings.therm3Offset = 0;
  readings.ph1Corr = -0.5;
  readings.ph2Corr = 0.0001;
  const QString numbers1 = QStringLiteral("21.37,-3.5,100,2577.7,-12.25,7.0123,6.9,1234.5,10.73");
  const QString numbers2 = QStringLiteral("-0.5,0.25,0,-0.5,0.0001");

  struct Case {
    const char *name;
    QLocale locale;
    QTime time;
    QString liters;
    QString expected;
  };
  const Case cases[] = {
      {"total before the first flow reading", kUnitedStates, QTime(14, 5, 9), QStringLiteral("000"),
       "\"14:05:09\"," + numbers1 + ",\"000\"," + numbers2 + "\r\n"},
      {"total as the flow channel shows it", kUnitedStates, QTime(8, 0, 0), QStringLiteral("12.34"),
       "\"08:00:00\"," + numbers1 + ",\"12.34\"," + numbers2 + "\r\n"},
      {"flow display blanked", kUnitedStates, QTime(23, 59, 59), QString(),
       "\"23:59:59\"," + numbers1 + ",\"\"," + numbers2 + "\r\n"},
      {"past midnight", kUnitedStates, QTime(0, 0, 0), QStringLiteral("1.5"),
       "\"00:00:00\"," + numbers1 + ",\"1.5\"," + numbers2 + "\r\n"},
      {"decimal comma only inside the total", kGermany, QTime(0, 0, 1), QStringLiteral("12,34"),
       "\"00:00:01\"," + numbers1 + ",\"12,34\"," + numbers2 + "\r\n"},
      {"regional time separator", kFinland, QTime(14, 5, 9), QStringLiteral("000"),
       "\"14.05.09\"," + numbers1 + ",\"000\"," + numbers2 + "\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(logging::logRecordText(readings, c.liters, c.time, c.locale).toStdString(),
              c.expected.toStdString());
  }
}

TEST(LogFormat, SerialNumbersStayInsideOneQuotedHeaderLine) {
  struct Case {
    QString serial;
    QString line;
  };
  const Case cases[] = {
      {QStringLiteral("18\"03"), QStringLiteral("\"Probe 1 Serial Number: 18\"\"03\"")},
      {QStringLiteral("\"A\""), QStringLiteral("\"Probe 1 Serial Number: \"\"A\"\"\"")},
      {QStringLiteral("18\r\n03"), QStringLiteral("\"Probe 1 Serial Number: 18 03\"")},
      {QStringLiteral("18\n03\r04"), QStringLiteral("\"Probe 1 Serial Number: 18 03 04\"")},
      {QStringLiteral("18\n\n03"), QStringLiteral("\"Probe 1 Serial Number: 18  03\"")},
      {QStringLiteral("  a, b "), QStringLiteral("\"Probe 1 Serial Number:   a, b \"")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.serial.toStdString());
    AcquisitionState s = defaultState();
    s.probe1Serial = c.serial;
    const QStringList lines =
        logging::logHeaderText(s, QDate(2026, 12, 7), kUnitedStates).split("\r\n");
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[9], c.line);
  }
}

} // namespace
