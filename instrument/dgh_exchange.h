#pragma once

#include "instrument/clock.h"
#include "state/operator_messages.h"
#include "instrument/serial_line.h"

#include <QString>

namespace tiltdgh {

// What one command/reply exchange needs from the outside world.
struct DghLink {
  SerialLine &line;
  MillisecondClock &clock;
  OperatorMessages &messages;
};

// Writes the whole command when the port is open; otherwise shows "Port Not open" titled
// "Port Failure" and sends nothing.
void SendCommand(DghLink &link, const QString &command);

// Waits 35 ms, then drains the receive buffer one character at a time (bit 7 cleared); "*" or "?"
// restarts the frame. Returns the last frame without its final carriage return, "TIMEOUT" when
// the last character received is not a carriage return, or "" at once when the port is closed.
QString ReadResponse(DghLink &link);

// Blocks until the clock has advanced by the whole part of `ms`; processes no events.
void WaitMs(MillisecondClock &clock, float ms);

} // namespace tiltdgh
