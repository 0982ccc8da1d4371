// The channel readers polling the simulated modules through the real serial line.

#include "acquisition/session.h"
#include "tests/e2e/dgh_sim_process.h"
#include "tests/support/recorders.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using e2e::DghSimProcess;
using e2e::RealLink;
using tiltdgh::PortError;

TEST(ReadersThroughTheRealLine, AFullTickStoresPlausibleReadings) {
  DghSimProcess sim({"--seed", "11"});
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  RealLink real(sim.devicePath());
  ASSERT_EQ(real.line.open(), PortError::None);
  AcquisitionState state;
  acquisition::Session session(real.link, state);
  testsupport::RecordingSession panel(session);
  state.probe1Slope = state.probe2Slope = 1;
  state.probe1Offset = state.probe2Offset = 2.5777;
  state.ph2ThermSelect = 3;

  // In read-cycle order, thermistors first so that the probes have a temperature.
  session.readThermistors();
  session.readFlowModule();
  session.readPhModule(QStringLiteral("6"));
  session.readPhModule(QStringLiteral("7"));

  EXPECT_TRUE(real.messages.shown.empty()) << real.messages.shown[0].text.toStdString();
  EXPECT_FALSE(panel.calls.join('\n').contains("off ")) << panel.calls.join('\n').toStdString();
  // The modules drift slowly around room temperature, 115 Hz and about 2.58 V.
  EXPECT_NEAR(state.therm1Temp, 21.46, 1);
  EXPECT_NEAR(state.therm2Temp, 21.10, 1);
  EXPECT_NEAR(state.therm3Temp, 22.30, 1);
  EXPECT_NEAR(state.flowHz, 115, 5);
  EXPECT_NEAR(state.litersPerMin, 1.0, 0.05);
  EXPECT_NEAR(state.ph1mV, 2577.7, 3);
  EXPECT_NEAR(state.ph2mV, 2581.3, 3);
  EXPECT_DOUBLE_EQ(state.compTemp, state.therm3Temp);
  // About 7 at the offset voltage; a few mV either side move it by hundredths.
  EXPECT_NEAR(state.ph1Value, 7, 0.1);
  EXPECT_NEAR(state.ph2Value, 7, 0.2);
  for (const char *label :
       {"lblTherm1", "lblTherm2", "lblTherm3", "lblHz", "lblmV", "lblpH", "lblmV1", "lblpH1"})
    EXPECT_EQ(panel.calls.filter(QStringLiteral("text %1 ").arg(label)).size(), 1) << label;
}

// A module that stops answering mid-run: its reader tells the operator and switches its channel
// off; once it answers again, the reader reads it as before.
TEST(ReadersThroughTheRealLine, ModuleThatFallsSilentGivesItsMessageAndSwitchesItsChannelOff) {
  using Reader = std::function<void(acquisition::Session &)>;
  const Reader ph = [](acquisition::Session &session) {
    session.readPhModule(QStringLiteral("7"));
  };
  const Reader flow = &acquisition::Session::readFlowModule;
  const Reader thermistors = &acquisition::Session::readThermistors;
  const struct {
    const char *silence;
    Reader read;
    const char *message;
    const char *switchedOff; // empty: the channel stays on
  } cases[] = {
      {"silent 7", ph, "NO VALID RETURN FROM pH MODULE", "off cwbPh"},
      {"silent 5", flow, "NO VALID RETURN FROM FLOW MODULE", "off cwbFlow"},
      {"silent 3", thermistors, "No valid return from thermistor 3", "off cwbTherm"},
      // Only the last thermistor's failure stops the channel.
      {"silent 2", thermistors, "No valid return from thermistor 2", ""},
  };

  DghSimProcess sim;
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  RealLink real(sim.devicePath());
  ASSERT_EQ(real.line.open(), PortError::None);
  AcquisitionState state;
  state.probe2Slope = 1;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.silence);
    acquisition::Session session(real.link, state);
    testsupport::RecordingSession panel(session);
    real.messages.shown.clear();

    c.read(session);
    EXPECT_TRUE(real.messages.shown.empty());

    ASSERT_EQ(sim.control(c.silence), "ok");
    panel.calls.clear();
    c.read(session);
    ASSERT_EQ(real.messages.shown.size(), 1u);
    EXPECT_EQ(real.messages.shown[0].text, c.message);
    EXPECT_EQ(real.messages.shown[0].title, "");
    EXPECT_EQ(panel.calls.filter("off ").join(','), c.switchedOff);

    ASSERT_EQ(sim.control("clear"), "ok");
    real.messages.shown.clear();
    panel.calls.clear();
    c.read(session);
    EXPECT_TRUE(real.messages.shown.empty());
    EXPECT_TRUE(panel.calls.filter("off ").isEmpty());
  }
}

} // namespace
