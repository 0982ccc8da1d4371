#pragma once

#include "console/frm_main.h"
#include "instrument/clock.h"
#include "publish/mqtt_config.h"
#include "tests/publish/broker.h"
#include "tests/support/simulated_window.h"

#include <optional>

namespace brokertest {

// An anonymous broker of its own on a free local port, and the main window on the simulated
// modules publishing to it under "test/rig".
struct PublishingWindow {
  int port = freePort();
  Broker broker{
      {QStringLiteral("listener %1 127.0.0.1").arg(port), QStringLiteral("allow_anonymous true")}};
  tiltdgh::SteadyClock clock;
  FrmMainServices services;
  std::optional<testsupport::SimulatedWindow> rig;

  // Starts the broker, then builds the window on modules seeded with `seed`; false when the
  // broker did not start (its log says why).
  bool start(quint32 seed) {
    if (!broker.start())
      return false;
    services.mqtt = publish::makeMqttConfig(QStringLiteral("mqtt://127.0.0.1:%1").arg(port), {},
                                            QStringLiteral("test/rig"), {}, {});
    rig.emplace(clock, seed, services);
    return true;
  }
};

} // namespace brokertest
