#include "acquisition/session.h"
#include "sim/simulated_bus.h"
#include "tests/support/recorders.h"

#include <gtest/gtest.h>

namespace {

// One full read tick against the simulated modules on the machine's own clock: the 35 ms waits
// really pass, and every reply must have arrived inside its own exchange.
TEST(ReadersOnTheSimulatedBus, AFullTickReadsAllSixModulesInRealTime) {
  tiltdgh::SteadyClock clock;
  sim::DghModules modules(7);
  sim::SimulatedBus bus(clock, modules);
  ASSERT_EQ(bus.open(), tiltdgh::PortError::None);
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{bus, clock, messages};
  AcquisitionState state;
  acquisition::Session session(link, state);
  testsupport::RecordingSession panel(session);
  state.probe1Offset = state.probe2Offset = 2.5777;
  state.probe1Slope = state.probe2Slope = 4.5427;

  // Thermistors first here, so that the pH readings are compensated at room temperature.
  const quint32 start = clock.now();
  session.readThermistors();
  session.readFlowModule();
  session.readPhModule(QStringLiteral("6"));
  session.readPhModule(QStringLiteral("7"));
  const quint32 elapsed = clock.now() - start;

  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(panel.calls.join('\n').contains("off "));
  EXPECT_GE(elapsed, 6u * 35u); // six exchanges, each waiting its whole 35 ms
  for (const double t : {state.therm1Temp, state.therm2Temp, state.therm3Temp}) {
    EXPECT_GT(t, 20);
    EXPECT_LT(t, 23);
  }
  EXPECT_GT(state.flowHz, 110);
  EXPECT_LT(state.flowHz, 120);
  EXPECT_EQ(state.flowHzSum, state.flowHz);
  EXPECT_NEAR(state.litersPerMin, 1, 0.05);
  EXPECT_GT(state.ph1mV, 2570);
  EXPECT_LT(state.ph1mV, 2590);
  EXPECT_GT(state.ph2mV, 2570);
  EXPECT_LT(state.ph2mV, 2590);
  EXPECT_NEAR(state.ph1Value, 7, 0.1);
  EXPECT_NEAR(state.ph2Value, 7, 0.1);
  EXPECT_EQ(state.compTemp, state.therm1Temp);
  EXPECT_EQ(panel.calls.size(), 9 + 4 + 3 + 3);
}

} // namespace
