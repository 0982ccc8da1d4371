#pragma once

#include "alarms/alarm_engine.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QTime>
#include <QTimer>

#include <array>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMainWindow;
class QToolButton;
namespace acquisition {
class Session;
}
namespace alarms {
class AlarmLimitsDialog;
class AlarmList;
class AlarmMonitor;
} // namespace alarms
namespace logging {
class LogController;
}
namespace publish {
class MqttPublisher;
}
namespace tiltdgh {
class OperatorMessages;
}

namespace console {

// What the alarms are handed of the main window: they find nothing by themselves.
struct AlarmViewParts {
  QMainWindow &window; // its menu bar and status bar; the view and the monitor are its children
  const AcquisitionState &state;
  acquisition::Session &session;
  tiltdgh::OperatorMessages &messages;
  QString command;                // --alarm-command; empty runs nothing
  int repeatMinutes = 0;          // --alarm-repeat; 0 reminds of nothing
  std::optional<QTime> heartbeat{}; // --alarm-heartbeat; unset gives none
  // Per quantity, its display and its corrected display (null where it has none).
  std::array<QLabel *, state::quantityCount> displays{};
  std::array<QLabel *, state::quantityCount> correctedDisplays{};
  QAction *menuAfter = nullptr; // "Comm Port": the "Alarms" menu goes right after it
};

// Puts the alarms into the main window: the monitor follows the session; a display whose
// quantity is in alarm gets an amber background (flashing while unacknowledged) and an accessible
// description; the status bar gets an indicator after its four panels that opens the alarm list;
// the desktop's bell sounds while an alarm waits for an acknowledgement. A publisher and the
// log controller may be handed over at any time after construction.
class AlarmView : public QObject {
public:
  explicit AlarmView(const AlarmViewParts &parts);
  alarms::AlarmMonitor *monitor() const { return m_monitor; }

  // The alarms go to the broker too, and with --mqtt-commands are answered from there, exactly
  // as the alarm list's buttons answer them.
  void publishTo(publish::MqttPublisher &publisher);
  // While a log file is written, the journal's lines go beside it as well.
  void followLogging(logging::LogController &logging);

private:
  struct Marked {
    QLabel *label;
    QPalette palette; // as it was before any alarm
    std::vector<alarms::Alarm> alarms;
  };

  void mapDisplays();
  void addDisplay(QLabel *label, alarms::Alarm alarm);
  void buildIndicator();
  void buildMenu(QAction *after);
  void showDisplays();
  void showIndicator();
  void openLimits();
  void openList();

  QMainWindow &m_window;
  tiltdgh::OperatorMessages &m_messages;
  std::array<QLabel *, state::quantityCount> m_displays;
  std::array<QLabel *, state::quantityCount> m_correctedDisplays;
  alarms::AlarmMonitor *m_monitor;
  std::vector<Marked> m_marked;
  QToolButton *m_indicator = nullptr;
  QAction *m_mute = nullptr;
  QTimer m_flash;
  QTimer m_bell;
  bool m_flashOn = true;
  QPointer<alarms::AlarmLimitsDialog> m_limits;
  QPointer<alarms::AlarmList> m_list;
  QString m_logFile;
};

} // namespace console
