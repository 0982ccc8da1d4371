#pragma once

#include "channels/channel_panel.h"
#include "state/acquisition_state.h"
#include "instrument/dgh_exchange.h"

#include <QString>

namespace tiltdgh {

// Reads the pH module at `address` ("6" probe 1, "7" probe 2) and stores and shows the reading.
void ReadPhModule(DghLink &link, AcquisitionState &state, ChannelPanel &panel,
                  const QString &address);

// Reads the flow module at address "5": frequency, litres per minute and the running total.
void ReadFlowModule(DghLink &link, AcquisitionState &state, ChannelPanel &panel);

// Reads thermistors 1, 2 and 3 in turn.
void ReadThermistors(DghLink &link, AcquisitionState &state, ChannelPanel &panel);

} // namespace tiltdgh
