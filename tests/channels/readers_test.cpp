#include "acquisition/session.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_printers.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <functional>

namespace {

using testsupport::FakeClock;
using testsupport::RecordingMessages;
using testsupport::RecordingSession;
using testsupport::ScriptedLine;

// One read tick's surroundings: the journal holds what the session showed and the message boxes
// in the order they happened.
struct Bench {
  Bench() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    state.probe1Offset = 2.5777;
    state.probe1Slope = 4.5427;
    state.probe2Offset = 2.5777;
    state.probe2Slope = 4.5427;
  }
  // Queues module replies, one per command, each arriving with its carriage return 10 ms after
  // its command. "" is a silent module.
  template <typename Frames> void replies(const Frames &frames) {
    for (const char *f : frames)
      line.answerNextCommand(*f ? QByteArray(f) + '\r' : QByteArray(), 10);
  }
  void replies(std::initializer_list<const char *> frames) { replies<>(frames); }
  QStringList commands() const {
    QStringList out;
    for (const QByteArray &c : line.written())
      out.append(QString::fromLatin1(c));
    return out;
  }

  FakeClock clock{5000};
  ScriptedLine line{clock};
  QStringList journal;
  RecordingMessages messages{&journal};
  tiltdgh::DghLink link{line, clock, messages};
  AcquisitionState state;
  acquisition::Session session{link, state};
  RecordingSession panel{session, &journal};
};

const QString phInvalid = QStringLiteral("message NO VALID RETURN FROM pH MODULE");
const QString flowInvalid = QStringLiteral("message NO VALID RETURN FROM FLOW MODULE");
const QString portNotOpen = QStringLiteral("message Port Not open [Port Failure]");

TEST(ReadPhModule, StoresAndShowsTheReadingOrRefusesTheReply) {
  struct Row {
    const char *name;
    const char *address;
    const char *reply; // nullptr: the port is closed
    std::function<void(AcquisitionState &)> setup;
    QStringList journal;
    std::function<void(const AcquisitionState &)> check;
  };
  const auto probe1At25 = [](AcquisitionState &s) {
    s.ph1ThermSelect = 1;
    s.therm1Temp = 25;
    s.ph1Corr = 0.05;
  };
  const auto probe1Is7 = [](const AcquisitionState &s) {
    EXPECT_EQ(s.ph1mV, 2577.7);
    EXPECT_NEAR(s.ph1Volts, 2.5777, 1e-15);
    EXPECT_EQ(s.compTemp, 25);
    EXPECT_EQ(s.ph1Value, 7);
    EXPECT_EQ(s.ph2mV, 0);
  };
  // Sentinels that a refused reply must leave as they are.
  const auto previous = [](AcquisitionState &s) {
    s.ph1mV = 1111;
    s.ph1Volts = 1.111;
    s.ph1Value = 6.5;
    s.ph2mV = 2222;
    s.ph2Value = 7.5;
    s.compTemp = 12;
  };
  const auto unchanged = [](const AcquisitionState &s) {
    EXPECT_EQ(s.ph1mV, 1111);
    EXPECT_EQ(s.ph1Volts, 1.111);
    EXPECT_EQ(s.ph1Value, 6.5);
    EXPECT_EQ(s.ph2mV, 2222);
    EXPECT_EQ(s.ph2Value, 7.5);
    EXPECT_EQ(s.compTemp, 12);
  };
  const QStringList shows7 = {"text lblmV 2577.7", "text lblpH 7", "text lblpH1WOS 7.05"};
  const QStringList refused = {phInvalid, "off cwbPh"};

  const Row rows[] = {
      {"probe 1 at pH 7", "6", "*+02577.70", probe1At25, shows7, probe1Is7},
      {"the sign is not read", "6", "*-02577.70", probe1At25, shows7, probe1Is7},
      {"a short value part",
       "6",
       "*+12.5",
       probe1At25,
       {"text lblmV 12.5", "text lblpH -2.5454", "text lblpH1WOS -2.4954"},
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph1mV, 12.5);
         EXPECT_EQ(s.ph1Value, -2.5454);
       }},
      {"only characters 3 to 10 are read", "6", "*+02577.7099", probe1At25, shows7, probe1Is7},
      {"probe 2 compensated by thermistor 3",
       "7",
       "*+02600.00",
       [](AcquisitionState &s) {
         s.ph2ThermSelect = 3;
         s.therm1Temp = 25;
         s.therm2Temp = 30;
         s.therm3Temp = 18;
         s.ph2Corr = -0.5;
       },
       {"text lblmV1 2600", "text lblpH1 7.085", "text lblpH2WOS 6.585"},
       [](const AcquisitionState &s) {
         EXPECT_EQ(s.ph2mV, 2600);
         EXPECT_EQ(s.ph2Volts, 2.6);
         EXPECT_EQ(s.ph2Value, 7.085);
         EXPECT_EQ(s.compTemp, 18); // left holding probe 2's temperature
         EXPECT_EQ(s.ph1mV, 0);
       }},
      {"probe 2 compensated by thermistor 2",
       "7",
       "*+02600.00",
       [](AcquisitionState &s) {
         s.ph2ThermSelect = 2;
         s.therm1Temp = 25;
         s.therm2Temp = 30;
       },
       {"text lblmV1 2600", "text lblpH1 7.0816", "text lblpH2WOS 7.0816"},
       [](const AcquisitionState &s) { EXPECT_EQ(s.compTemp, 30); }},
      {"no choice yet takes thermistor 1",
       "7",
       "*+02600.00",
       [](AcquisitionState &s) {
         s.ph2ThermSelect = 0;
         s.therm1Temp = 25;
         s.therm3Temp = 18;
       },
       {"text lblmV1 2600", "text lblpH1 7.083", "text lblpH2WOS 7.083"},
       [](const AcquisitionState &s) { EXPECT_EQ(s.compTemp, 25); }},
      {"before any thermistor reading",
       "6",
       "*+02600.00",
       nullptr,
       {"text lblmV 2600", "text lblpH 7.0906", "text lblpH1WOS 7.0906"},
       [](const AcquisitionState &s) { EXPECT_EQ(s.compTemp, 0); }},
      {"TIMEOUT", "6", "", previous, refused, unchanged},
      {"a frame beginning with ?", "7", "?+02577.70", previous, refused, unchanged},
      {"the port is closed",
       "6",
       nullptr,
       previous,
       {portNotOpen, phInvalid, "off cwbPh"},
       unchanged},
      {"a start character alone", "6", "*", previous, {}, unchanged},
      {"a start character and a sign", "7", "*+", previous, {}, unchanged},
      {"a value part that is not a number", "6", "*+0257x.70", previous, refused, unchanged},
      {"letters after the start character", "7", "*ABCDEFGHIJ", previous, refused, unchanged},
      {"another address is asked but nothing is stored",
       "8",
       "*+02577.70",
       previous,
       {},
       unchanged},
      {"another address with a bad reply", "8", "", previous, refused, unchanged},
      // A reading that gives no finite pH is refused like an unreadable reply.
      {"a slope of 0", "6", "*+02600.00",
       [&](AcquisitionState &s) {
         previous(s);
         s.probe1Slope = 0;
       },
       refused, unchanged},
      {"a slope of 0 at exactly the offset", "6", "*+02577.70",
       [&](AcquisitionState &s) {
         previous(s);
         s.probe1Slope = 0;
       },
       refused, unchanged},
      {"absolute zero", "7", "*+02600.00",
       [&](AcquisitionState &s) {
         previous(s);
         s.ph2ThermSelect = 2;
         s.therm2Temp = -273.15;
       },
       refused, unchanged},
      {"an absurd reading", "6", "*+1e308", previous, refused, unchanged},
  };
  for (const Row &r : rows) {
    Bench b;
    if (r.setup)
      r.setup(b.state);
    if (r.reply)
      b.replies({r.reply});
    else
      b.line.setOpen(false);
    b.session.readPhModule(QString::fromLatin1(r.address));
    EXPECT_EQ(b.journal, r.journal) << r.name;
    EXPECT_EQ(b.commands(),
              r.reply ? QStringList{QStringLiteral("$%1RD\r").arg(r.address)} : QStringList())
        << r.name;
    SCOPED_TRACE(r.name);
    r.check(b.state);
  }
}

TEST(ReadPhModule, ShowsTheRegionalDecimalSeparatorAndReadsTheModulesPoint) {
  Bench b;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  b.state.therm1Temp = 25;
  b.state.ph1Corr = 0.05;
  b.replies({"*+02577.70"});
  b.session.readPhModule(QStringLiteral("6"));
  EXPECT_EQ(b.journal, QStringList({"text lblmV 2577,7", "text lblpH 7", "text lblpH1WOS 7,05"}));
  EXPECT_EQ(b.state.ph1mV, 2577.7);
}

TEST(ReadPhModule, BothSilentModulesWarnTwiceAndTurnTheSwitchOffTwice) {
  Bench b;
  b.replies({"", ""});
  b.session.readPhModule(QStringLiteral("6"));
  b.session.readPhModule(QStringLiteral("7"));
  EXPECT_EQ(b.journal, QStringList({phInvalid, "off cwbPh", phInvalid, "off cwbPh"}));
}

TEST(ReadFlowModule, StoresRateAndTotalOrRefusesTheReply) {
  struct Row {
    const char *name;
    const char *reply; // nullptr: the port is closed
    double sumBefore;
    QStringList journal;
    double hz, perMin, sum, total; // expected state
  };
  const QStringList refused = {flowInvalid, "off cwbFlow"};
  // Values that a refused reply leaves in place.
  const double oldHz = 3, oldPerMin = 4, oldTotal = 5;
  const Row rows[] = {
      {"115 Hz",
       "*+00115.00",
       0,
       {"text lblHz 115", "text lblLitersPerMin 1", "gauge CWSlideFlow 1", "text liters 0.02"},
       115,
       1,
       115,
       0.02},
      {"the sign is not read",
       "*-00010.00",
       0,
       {"text lblHz 10", "text lblLitersPerMin 0.09", "gauge CWSlideFlow 0.09", "text liters 0"},
       10,
       0.09,
       10,
       0},
      {"a spike adds nothing to the total",
       "*+90000.01",
       500,
       {"text lblHz 0", "text lblLitersPerMin 0", "gauge CWSlideFlow 0", "text liters 0.07"},
       0,
       0,
       500,
       0.07},
      {"exactly 90000 Hz passes",
       "*+90000.00",
       0,
       {"text lblHz 90000", "text lblLitersPerMin 782.61", "gauge CWSlideFlow 782.61",
        "text liters 13.04"},
       90000,
       782.61,
       90000,
       13.04},
      {"an absurd number is a spike",
       "*+1e308",
       690,
       {"text lblHz 0", "text lblLitersPerMin 0", "gauge CWSlideFlow 0", "text liters 0.1"},
       0,
       0,
       690,
       0.1},
      {"a huge negative number gives no rate", "*+-1e308", 690, refused, oldHz, oldPerMin, 690,
       oldTotal},
      {"a total that would overflow", "*+-2e306", -1.79e308, refused, oldHz, oldPerMin, -1.79e308,
       oldTotal},
      {"TIMEOUT", "", 690, refused, oldHz, oldPerMin, 690, oldTotal},
      {"a frame beginning with ?", "?+00115.00", 690, refused, oldHz, oldPerMin, 690, oldTotal},
      {"not a number", "*+001x5.00", 690, refused, oldHz, oldPerMin, 690, oldTotal},
      {"the port is closed",
       nullptr,
       690,
       {portNotOpen, flowInvalid, "off cwbFlow"},
       oldHz,
       oldPerMin,
       690,
       oldTotal},
      {"a start character alone", "*", 690, {}, oldHz, oldPerMin, 690, oldTotal},
      {"a start character and a sign", "*-", 690, {}, oldHz, oldPerMin, 690, oldTotal},
  };
  for (const Row &r : rows) {
    Bench b;
    b.state.flowHz = oldHz;
    b.state.litersPerMin = oldPerMin;
    b.state.totalLiters = oldTotal;
    b.state.flowHzSum = r.sumBefore;
    if (r.reply)
      b.replies({r.reply});
    else
      b.line.setOpen(false);
    b.session.readFlowModule();
    EXPECT_EQ(b.journal, r.journal) << r.name;
    EXPECT_EQ(b.commands(), r.reply ? QStringList{"$5RD\r"} : QStringList()) << r.name;
    EXPECT_EQ(b.state.flowHz, r.hz) << r.name;
    EXPECT_EQ(b.state.litersPerMin, r.perMin) << r.name;
    EXPECT_EQ(b.state.flowHzSum, r.sum) << r.name;
    EXPECT_EQ(b.state.totalLiters, r.total) << r.name;
  }
}

TEST(ReadFlowModule, SixtyReadingsOfOneLitrePerMinuteMakeOneLitre) {
  Bench b;
  for (int i = 0; i < 60; ++i) {
    b.replies({"*+00115.00"});
    b.session.readFlowModule();
  }
  EXPECT_EQ(b.state.flowHzSum, 6900);
  EXPECT_EQ(b.state.totalLiters, 1);
  EXPECT_EQ(b.panel.calls.last(), "text liters 1");
  EXPECT_TRUE(b.messages.shown.empty());
}

TEST(ReadThermistors, ReadsTheThreeInTurnAndOnlyTheThirdStopsTheChannel) {
  struct Row {
    const char *name;
    std::vector<const char *> replies; // one per command; an empty list: the port is closed
    QStringList commands;
    QStringList journal;
    double t1, t2, t3;
  };
  const QStringList all = {"$1RD\r", "$2RD\r", "$3RD\r"};
  // Offsets 0.5, 0 and -1; temperatures before the tick 1, 2 and 3.
  const Row rows[] = {
      {"three good replies",
       {"*+0021.456", "*+00019.50", "*+00018.00"},
       all,
       {"text lblTherm1 21.46", "text lblTherm1WOS 21.96", "gauge CWSlideTherm1 21.96",
        "text lblTherm2 19.5", "text lblTherm2WOS 19.5", "gauge CWSlideTherm2 19.5",
        "text lblTherm3 18", "text lblTherm3WOS 17", "gauge CWSlideTherm3 17"},
       21.46,
       19.5,
       18},
      {"half to even, characters past the tenth, sign not read",
       {"*+0021.125", "*-00005.00", "*+00021.456"},
       all,
       {"text lblTherm1 21.12", "text lblTherm1WOS 21.62", "gauge CWSlideTherm1 21.62",
        "text lblTherm2 5", "text lblTherm2WOS 5", "gauge CWSlideTherm2 5", "text lblTherm3 21.45",
        "text lblTherm3WOS 20.45", "gauge CWSlideTherm3 20.45"},
       21.12,
       5,
       21.45},
      {"TIMEOUT from thermistor 1 only",
       {"", "*+00019.50", "*+00018.00"},
       all,
       {"message No valid return from thermistor 1", "text lblTherm2 19.5",
        "text lblTherm2WOS 19.5", "gauge CWSlideTherm2 19.5", "text lblTherm3 18",
        "text lblTherm3WOS 17", "gauge CWSlideTherm3 17"},
       1,
       19.5,
       18},
      {"TIMEOUT from thermistor 3 only",
       {"*+00021.00", "*+00019.50", ""},
       all,
       {"text lblTherm1 21", "text lblTherm1WOS 21.5", "gauge CWSlideTherm1 21.5",
        "text lblTherm2 19.5", "text lblTherm2WOS 19.5", "gauge CWSlideTherm2 19.5",
        "message No valid return from thermistor 3", "off cwbTherm"},
       21,
       19.5,
       3},
      {"\"*\" from thermistor 1 ends the procedure", {"*"}, {"$1RD\r"}, {}, 1, 2, 3},
      {"\"*+\" from thermistor 2 ends the procedure",
       {"*+00021.00", "*+"},
       {"$1RD\r", "$2RD\r"},
       {"text lblTherm1 21", "text lblTherm1WOS 21.5", "gauge CWSlideTherm1 21.5"},
       21,
       2,
       3},
      {"not a number from 1 and 2: messages only",
       {"*+000x1.00", "?+00019.50", "*+00018.00"},
       all,
       {"message No valid return from thermistor 1", "message No valid return from thermistor 2",
        "text lblTherm3 18", "text lblTherm3WOS 17", "gauge CWSlideTherm3 17"},
       1,
       2,
       18},
      {"not a number from 3 stops the channel",
       {"*+00021.00", "*+00019.50", "*+--"},
       all,
       {"text lblTherm1 21", "text lblTherm1WOS 21.5", "gauge CWSlideTherm1 21.5",
        "text lblTherm2 19.5", "text lblTherm2WOS 19.5", "gauge CWSlideTherm2 19.5",
        "message No valid return from thermistor 3", "off cwbTherm"},
       21,
       19.5,
       3},
      {"the port is closed: six boxes, then the switch",
       {},
       {},
       {portNotOpen, "message No valid return from thermistor 1", portNotOpen,
        "message No valid return from thermistor 2", portNotOpen,
        "message No valid return from thermistor 3", "off cwbTherm"},
       1,
       2,
       3},
      {"a huge reading is stored as it is",
       {"*+1e308", "*+00019.50", "*+00018.00"},
       all,
       {"text lblTherm1 1E+308", "text lblTherm1WOS 1E+308", "gauge CWSlideTherm1 1e+308",
        "text lblTherm2 19.5", "text lblTherm2WOS 19.5", "gauge CWSlideTherm2 19.5",
        "text lblTherm3 18", "text lblTherm3WOS 17", "gauge CWSlideTherm3 17"},
       1e308,
       19.5,
       18},
  };
  for (const Row &r : rows) {
    Bench b;
    b.state.therm1Offset = 0.5;
    b.state.therm2Offset = 0;
    b.state.therm3Offset = -1;
    b.state.therm1Temp = 1;
    b.state.therm2Temp = 2;
    b.state.therm3Temp = 3;
    b.replies(r.replies);
    if (r.replies.empty())
      b.line.setOpen(false);
    b.session.readThermistors();
    EXPECT_EQ(b.journal, r.journal) << r.name;
    EXPECT_EQ(b.commands(), r.commands) << r.name;
    EXPECT_EQ(b.state.therm1Temp, r.t1) << r.name;
    EXPECT_EQ(b.state.therm2Temp, r.t2) << r.name;
    EXPECT_EQ(b.state.therm3Temp, r.t3) << r.name;
    EXPECT_TRUE(std::isfinite(b.state.therm1Temp)) << r.name;
  }
}

TEST(ReadThermistors, TheSwitchGoesOffOnlyAfterTheOperatorClosedTheBox) {
  Bench b;
  b.replies({"*+00021.00", "*+00019.50", ""});
  QStringList panelCallsWhileOpen;
  b.messages.onShow = [&](const QString &, const QString &) {
    panelCallsWhileOpen = b.panel.calls;
  };
  b.session.readThermistors();
  EXPECT_FALSE(panelCallsWhileOpen.contains("off cwbTherm"));
  EXPECT_EQ(b.panel.calls.last(), "off cwbTherm");
}

} // namespace
