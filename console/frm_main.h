#pragma once

#include "console/display_texts.h"
#include "console/run_keeper.h"
#include "instrument/dgh_exchange.h"
#include "publish/mqtt_config.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QMainWindow>
#include <QPointer>
#include <QTime>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace acquisition {
class Session;
}
namespace runs {
class MessageList;
}
namespace console {
class AlarmView;
class DueMarks;
} // namespace console
class frmCalHistory;
namespace calibration {
class CalibrationOpener;
class DueWatch;
}
namespace logging {
class LogController;
}
namespace publish {
class MqttPublisher;
}
namespace plot {
class TrendGraph;
class TrendPlot;
} // namespace plot

namespace widgets {
class Knob;
class ListChoiceBox;
class NumericEntry;
class PositionSelector;
class SlideGauge;
class TwoStateSwitch;
} // namespace widgets

// What frmMain needs from the outside world besides the serial line and the clock. Every member
// has a working default; tests replace them to answer the boxes themselves.
struct FrmMainServices {
  // Modal OK boxes; null means frmMain's own QMessageBox.
  tiltdgh::OperatorMessages *messages = nullptr;
  // The "Commport Setup" input box: the text entered, or nullopt for Cancel. Null means a
  // QInputDialog.
  std::function<std::optional<QString>(const QString &prompt, const QString &title)> askText;
  // The folder holding the program's images; empty means the one the program finds itself.
  QString iconsDir;
  // Publishing readings, switches and calibration to an MQTT broker: unset publishes nothing; a
  // result without a configuration publishes nothing and shows its error as the connection state.
  std::optional<publish::MqttConfigResult> mqtt;
  // --alarm-command: run at every alarm raised and returned; empty runs nothing.
  QString alarmCommand;
  int alarmRepeatMinutes = 0;          // --alarm-repeat: reminders every so many minutes
  std::optional<QTime> alarmHeartbeat; // --alarm-heartbeat: the daily run's local time
  // The run kept in the run file and the events journal; unset keeps nothing. Unattended, the
  // messages go to a list that never waits instead of boxes.
  std::optional<console::RunOptions> run;
  // The modules are simulated (--simulate): the status bar says so, and so does the publisher.
  bool simulated = false;
};

// The main window: it owns the one AcquisitionState, composes every part of the program, and runs
// the read cycle and the operator's adjustments. Nothing runs until load() has been called.
class frmMain : public QMainWindow, public tiltdgh::OperatorMessages {
  Q_OBJECT
public:
  frmMain(tiltdgh::SerialLine &line, tiltdgh::MillisecondClock &clock,
          FrmMainServices services = {}, QWidget *parent = nullptr);
  ~frmMain() override;

  // Brings the system up in its designed order. Returns false, after telling the operator why,
  // when the program cannot start; the caller then ends the program.
  bool load();

  AcquisitionState &state() { return m_state; }
  const AcquisitionState &state() const { return m_state; }

  // The work of one tmrRd tick. A tick that falls due while one is running is dropped.
  void readTick();
  void applyUpdateRate();
  void setPhAxisRange();
  // "Comm Port": closes the port, asks for a number and opens that port.
  void commPortCommand();

  // The read cycle, which every display, gauge and the publisher follow.
  acquisition::Session &session() { return *m_session; }
  // The run kept, or null when the services keep none.
  console::RunKeeper *runKeeper() const { return m_runKeeper; }

  // OperatorMessages: a modal QMessageBox unless the services replaced it.
  void showMessage(const QString &text, const QString &title = QString()) override;

  // Sizes the window for a screen whose free area is `available`: as designed where it fits,
  // else as large as fits, the areas scrolling. load() fits it to its own screen.
  void fitToScreen(const QRect &available);
  // What "User Guide" opens: the README installed beside the program, else the packaged path.
  static QString userGuidePath();
  // What "About Brellis" says: version, licence, source and the Qt version.
  static QString aboutText();

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  void buildWindow();
  QWidget *buildGraphArea();
  QWidget *buildProbeReadings();
  void addProbeDisplays(QGridLayout *grid, int row, state::Quantity mV, state::Quantity pH);
  QWidget *buildPhControls();
  QWidget *buildFlowArea();
  QWidget *buildThermistorArea();
  void buildMenus();
  void buildStatusBar();
  void setScrollingCentralWidget(QWidget *areas);
  void addSimulatedPanel();
  void buildHelpMenu();
  void connectHandlers();

  void connectAdjustments();
  void connectScales();
  void onChannelSwitch(state::Channel channel, bool on);
  void showReading(const state::Reading &reading);
  void resetThermistorGauges();
  void resetFlowTotal();
  void exitProgram();
  bool openPortAtStart();
  enum class PortAnswer { Cancelled, Unusable, Chosen };
  PortAnswer askCommPort();
  std::optional<QString> askText(const QString &prompt, const QString &title);
  void setWindowIconFromFiles();
  QString iconsDir() const;
  QString iconPath(const QString &fileName) const;
  void connectLogging();
  void connectRun();
  void connectPublisher();
  // The calibration history's menu item; the due marks, once the coefficients are loaded.
  void connectCalibrationRecords();
  void startCalibrationDue();
  void showCalibrationDue();
  bool loadPicture(QLabel *target, const QString &fileName);

  tiltdgh::SerialLine &m_line;
  tiltdgh::MillisecondClock &m_clock;
  FrmMainServices m_services;
  tiltdgh::DghLink m_link;
  AcquisitionState m_state;
  acquisition::Session *m_session = nullptr;
  bool m_inReadTick = false;

  // Per quantity: its display, its corrected display and its gauge, where it has them.
  std::array<QLabel *, state::quantityCount> m_displays{};
  std::array<QLabel *, state::quantityCount> m_correctedDisplays{};
  console::DisplayTexts m_texts;
  std::array<widgets::SlideGauge *, state::quantityCount> m_gauges{};
  std::array<widgets::TwoStateSwitch *, state::channelCount> m_switches{};

  QTimer *m_tmrRd = nullptr;
  QTimer *m_tmrPlot = nullptr;
  QTimer *m_tmrLogger = nullptr;
  QLabel *m_picMain = nullptr;
  widgets::ListChoiceBox *m_cmbUpdate = nullptr;
  plot::TrendGraph *m_graph = nullptr;
  plot::TrendPlot *m_trend = nullptr;
  widgets::Knob *m_therMax = nullptr;
  widgets::Knob *m_therMin = nullptr;
  widgets::Knob *m_phMax = nullptr;
  widgets::Knob *m_phMin = nullptr;
  widgets::PositionSelector *m_graphMode = nullptr;
  widgets::TwoStateSwitch *m_cwPlot = nullptr;
  QCheckBox *m_chkpH1 = nullptr;
  QCheckBox *m_chkpH2 = nullptr;
  QButtonGroup *m_optTherm = nullptr;
  QButtonGroup *m_optTherm1 = nullptr;
  QPushButton *m_updateRate = nullptr;   // CWupdateRate
  QPushButton *m_resetScale = nullptr;   // Command1
  QPushButton *m_resetFlow = nullptr;    // CWButton3
  QPushButton *m_resetTherm = nullptr;   // cwbReset
  widgets::NumericEntry *m_phCorrections[2] = {};  // pHOffS1, pHOffS2
  widgets::NumericEntry *m_thermOffsets[3] = {};   // CWNumEdit1 to 3
  QMenu *m_mnuCal = nullptr;
  QAction *m_mnuPhCal = nullptr;
  QAction *m_mnuComPort = nullptr;
  QLabel *m_panels[4] = {};
  QLabel *m_panel4Picture = nullptr;
  QAction *m_mnuLogSetup = nullptr;
  QAction *m_mnuStop = nullptr;
  QAction *m_mnuAddNote = nullptr; // enabled while a run is kept (its events journal)
  std::unique_ptr<calibration::CalibrationOpener> m_calibration;
  QPointer<frmCalHistory> m_calHistory;
  calibration::DueWatch *m_dueWatch = nullptr; // made once the coefficients are loaded
  std::unique_ptr<console::DueMarks> m_dueMarks;
  console::AlarmView *m_alarmView = nullptr; // a child of the window
  console::RunKeeper *m_runKeeper = nullptr;  // a child of the window
  runs::MessageList *m_messageList = nullptr; // unattended only
  logging::LogController *m_logging = nullptr; // a child: closes its file as the window goes
  // After m_state, which it reads: it goes first.
  std::unique_ptr<publish::MqttPublisher> m_publisher;
};
