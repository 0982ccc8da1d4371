#pragma once

#include "console/frm_main.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"
#include "tests/support/recorders.h"

namespace testsupport {

// frmMain on the in-process simulated modules, its message boxes recorded. `services` may carry
// more (an MQTT broker); its message boxes are always the recorder. The window is built but not
// loaded: the test calls load() and checks it.
struct SimulatedWindow {
  explicit SimulatedWindow(tiltdgh::MillisecondClock &clock, quint32 seed = 1,
                           FrmMainServices services = {})
      : modules(seed), bus(clock, modules), window(bus, clock, recorded(services)) {}

  sim::DghModules modules;
  sim::SimulatedBus bus;
  RecordingMessages messages;
  frmMain window;

private:
  FrmMainServices &recorded(FrmMainServices &services) {
    services.messages = &messages;
    return services;
  }
};

} // namespace testsupport
