#include "acquisition/session.h"
#include "console/display_texts.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <vector>

namespace {

using state::Quantity;

struct Rig {
  Rig() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    state.probe1Slope = state.probe2Slope = 4.5427;
    QObject::connect(&session, &acquisition::Session::readingStored, &session,
                     [this](const state::Reading &reading) {
                       stored.push_back({reading.quantity, reading.value});
                       // Each signal carries what the record holds by then.
                       EXPECT_EQ(state.*state::info(reading.quantity).field, reading.value);
                       EXPECT_EQ(reading.time.timeSpec(), Qt::UTC);
                       texts.reading(reading);
                     });
    QObject::connect(&session, &acquisition::Session::channelSwitched, &session,
                     [this](state::Channel channel, bool on) { texts.channelSwitched(channel, on); });
  }
  void reply(const char *frame) { line.answerNextCommand(QByteArray(frame) + '\r', 10); }

  testsupport::FakeClock clock{1000};
  testsupport::ScriptedLine line{clock};
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  AcquisitionState state;
  acquisition::Session session{link, state};
  std::vector<std::pair<Quantity, double>> stored;
  console::DisplayTexts texts;
};

// The read cycle asks only the channels that are on, flow first, and emits each stored reading
// in the order it was stored.
TEST(Session, ACycleReadsTheChannelsThatAreOnInTheirOrder) {
  struct Row {
    bool ph, flow, therm;
    std::vector<const char *> replies;
    QList<QByteArray> commands;
    std::vector<Quantity> stored;
  };
  const Row rows[] = {
      {true,
       true,
       true,
       {"*+00115.00", "*+02577.70", "*+02577.70", "*+00021.00", "*+00022.00", "*+00023.00"},
       {"$5RD\r", "$6RD\r", "$7RD\r", "$1RD\r", "$2RD\r", "$3RD\r"},
       {Quantity::FlowHz, Quantity::LitersPerMin, Quantity::TotalLiters, Quantity::Ph1mV,
        Quantity::Ph1, Quantity::Ph2mV, Quantity::Ph2, Quantity::Therm1, Quantity::Therm2,
        Quantity::Therm3}},
      {false,
       false,
       true,
       {"*+00021.00", "*+00022.00", "*+00023.00"},
       {"$1RD\r", "$2RD\r", "$3RD\r"},
       {Quantity::Therm1, Quantity::Therm2, Quantity::Therm3}},
      {true,
       false,
       false,
       {"*+02577.70", "*+02577.70"},
       {"$6RD\r", "$7RD\r"},
       {Quantity::Ph1mV, Quantity::Ph1, Quantity::Ph2mV, Quantity::Ph2}},
      {false, false, false, {}, {}, {}},
  };
  for (const Row &r : rows) {
    Rig rig;
    rig.state.phReadEnabled = r.ph;
    rig.state.flowReadEnabled = r.flow;
    rig.state.thermReadEnabled = r.therm;
    for (const char *frame : r.replies)
      rig.reply(frame);
    rig.session.readCycle();
    EXPECT_EQ(rig.line.written(), r.commands);
    std::vector<Quantity> quantities;
    for (const auto &[quantity, value] : rig.stored)
      quantities.push_back(quantity);
    EXPECT_EQ(quantities, r.stored);
  }
}

// The displays' texts, which the log takes Total Liters from: the start text until the first
// reading, empty once switching the channel off blanked them, the next reading's after that.
TEST(Session, KeepsEachDisplaysTextAndBlanksThoseASwitchedOffChannelBlanks) {
  Rig rig;
  EXPECT_EQ(rig.texts.text(Quantity::TotalLiters), "000");
  EXPECT_EQ(rig.texts.text(Quantity::Ph1mV), "0000.00");

  rig.reply("*+00115.00");
  rig.session.readFlowModule();
  rig.reply("*+02600.00");
  rig.session.readPhModule(QStringLiteral("7"));
  EXPECT_EQ(rig.texts.text(Quantity::TotalLiters), "0.02");
  EXPECT_EQ(rig.texts.gaugeValue(Quantity::LitersPerMin), 1);

  rig.session.switchChannel(state::Channel::Flow, true);
  EXPECT_TRUE(rig.state.flowReadEnabled);
  EXPECT_EQ(rig.texts.text(Quantity::TotalLiters), "0.02");
  rig.session.switchChannel(state::Channel::Flow, false);
  rig.session.switchChannel(state::Channel::Ph, false);
  EXPECT_FALSE(rig.state.flowReadEnabled);
  EXPECT_EQ(rig.texts.text(Quantity::TotalLiters), "");
  EXPECT_EQ(rig.texts.text(Quantity::LitersPerMin), "");
  EXPECT_EQ(rig.texts.text(Quantity::Ph1mV), "") << "probe 1's displays are blanked";
  EXPECT_EQ(rig.texts.text(Quantity::Ph2mV), "2600") << "probe 2's are not";
  EXPECT_EQ(rig.texts.text(Quantity::Therm1), "000");

  rig.reply("*+00115.00");
  rig.session.readFlowModule();
  EXPECT_EQ(rig.texts.text(Quantity::TotalLiters), "0.03");
}

} // namespace
