#pragma once

#include "state/acquisition_state.h"
#include "state/quantities.h"
#include "state/reading.h"

#include <QString>
#include <QVarLengthArray>

#include <optional>

// The channel readers turn one module reply into what it means: the readings to store and show,
// and what the operator is to hear. They exchange nothing and touch neither the window nor the
// record; the acquisition session does both, in the order the readings are listed.
namespace tiltdgh {

// A reader's reading carries no time yet: the session stamps it as it stores it.
using state::Reading;

struct ChannelRead {
  QVarLengthArray<Reading, 3> readings;
  // What the readings store besides their values: the probe's volts and the temperature it was
  // compensated at (pH), the running sum of frequencies (flow).
  double volts = 0;
  double compTemp = 0;
  double flowHzSum = 0;
  // Shown to the operator once the readings are stored; empty for none.
  QString message;
  // Switched off after the message has been closed.
  std::optional<state::Channel> switchOff;
  // The thermistors after this one wait for the next tick.
  bool endsRead = false;
};

// The command that asks the module at `address` for its reading.
QString readCommand(const QString &address);

// The reply of the pH module at `address` ("6" probe 1, "7" probe 2; any other is asked but
// gives nothing), compensated at the temperature of the probe's chosen thermistor.
ChannelRead ReadPhModule(const QString &address, const QString &reply,
                         const AcquisitionState &state);

// The reply of the flow module at address "5": frequency, litres per minute and running total.
ChannelRead ReadFlowModule(const QString &reply, const AcquisitionState &state);

// The reply of thermistor `number` (1, 2 or 3, which is also its address). Only the last one's
// failure stops the channel; 1 and 2 just say so.
ChannelRead ReadThermistor(int number, const QString &reply, const AcquisitionState &state);

} // namespace tiltdgh
