#pragma once

#include <QString>

class frmMain;
namespace acquisition {
class Session;
}
namespace alarms {
class AlarmMonitor;
}
namespace tiltdgh {
class OperatorMessages;
}

namespace console {

// Puts the alarms into the main window: the monitor follows the session and the channel
// switches; a display whose quantity is in alarm gets an amber background (flashing while
// unacknowledged) and an accessible description; the status bar gets an indicator after its four
// panels that opens the alarm list; the menu "Alarms" goes after "Comm Port"; the desktop's bell
// sounds while an alarm waits for an acknowledgement. With a publisher, the alarms go to the
// broker too; while a log file is written, the journal's lines go beside it as well.
// `command` is --alarm-command (empty: none). The monitor is a child of the window.
alarms::AlarmMonitor *wireAlarms(frmMain &window, acquisition::Session &session,
                                 tiltdgh::OperatorMessages &messages, const QString &command);

} // namespace console
