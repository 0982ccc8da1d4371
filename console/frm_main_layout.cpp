// The controls of the main window, their names, captions and start values, in their four areas.
#include "console/frm_main.h"

#include "console/due_marks.h"
#include "console/window_controls.h"

#include "widgets/knob.h"
#include "widgets/list_choice_box.h"
#include "widgets/numeric_display.h"
#include "widgets/numeric_entry.h"
#include "widgets/position_selector.h"
#include "widgets/slide_gauge.h"
#include "widgets/two_state_switch.h"

#include "history/log_window.h"
#include "plot/trend_graph.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template <typename T> T *named(T *widget, const QString &name) {
  widget->setObjectName(name);
  return widget;
}

QWidget *container(const QString &name) { return named(new QWidget, name); }

QLabel *caption(const QString &name, const QString &text, bool bold = false) {
  auto *label = named(new QLabel(text), name);
  if (bold) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
  }
  return label;
}

// The display of a quantity with its caption, as the window's table names it.
widgets::NumericDisplay *quantityDisplay(state::Quantity quantity) {
  const console::QuantityControls &c = console::controls(quantity);
  return new widgets::NumericDisplay(QString::fromUtf8(c.caption), QString::fromUtf8(c.display),
                                     QString::fromUtf8(c.initialText),
                                     QColor::fromRgb(c.displayRgb));
}

widgets::NumericDisplay *correctedDisplay(state::Quantity quantity) {
  const console::QuantityControls &c = console::controls(quantity);
  return new widgets::NumericDisplay(QString::fromUtf8(c.correctedCaption),
                                     QString::fromUtf8(c.correctedDisplay),
                                     QString::fromUtf8(c.initialText),
                                     QColor::fromRgb(c.displayRgb));
}

widgets::TwoStateSwitch *channelSwitch(state::Channel channel, const QString &offCaption,
                                       const QString &onCaption) {
  return named(new widgets::TwoStateSwitch(offCaption, onCaption),
               QString::fromLatin1(console::controls(channel).switchName));
}

} // namespace

void frmMain::buildWindow() {
  setWindowTitle(QStringLiteral("Brellis (DGH Controller) Ver. 2.4.1"));
  setObjectName(QStringLiteral("frmMain"));

  m_tmrRd = named(new QTimer(this), QStringLiteral("tmrRd"));
  m_tmrRd->setInterval(1000);
  m_tmrPlot = named(new QTimer(this), QStringLiteral("tmrPlot"));
  m_tmrPlot->setInterval(1000);
  // Interval 0 stands for "never ticks": the timer is started only once logging is set up.
  m_tmrLogger = named(new QTimer(this), QStringLiteral("tmrLogger"));
  m_tmrLogger->setInterval(0);
  // Qt's default coarse timers may fire up to 5 % early or late, which would let the log tick's
  // phase wander across a second boundary and the plot's points bunch up.
  for (QTimer *timer : {m_tmrRd, m_tmrPlot, m_tmrLogger})
    timer->setTimerType(Qt::PreciseTimer);

  auto *central = new QWidget;
  auto *grid = new QGridLayout(central);
  grid->setContentsMargins(8, 8, 8, 4);
  grid->setHorizontalSpacing(10);

  m_picMain = named(new QLabel, QStringLiteral("PicMain"));
  m_picMain->setFixedSize(133, 100);
  m_picMain->setAlignment(Qt::AlignCenter);
  m_picMain->setAccessibleName(QStringLiteral("Logo"));

  auto *frame6 = named(new QGroupBox(QStringLiteral("pH Probe")), QStringLiteral("Frame6"));
  auto *f6 = new QGridLayout(frame6);
  f6->addWidget(buildGraphArea(), 0, 0, 1, 2);
  f6->addWidget(buildProbeReadings(), 1, 0);
  f6->addWidget(buildPhControls(), 1, 1, Qt::AlignTop);
  f6->setRowStretch(0, 1);

  auto *frame3 =
      named(new QGroupBox(QStringLiteral("Electronic Flow Gauge")), QStringLiteral("Frame3"));
  auto *f3 = new QVBoxLayout(frame3);
  f3->addWidget(buildFlowArea());

  auto *frame7 = named(new QGroupBox(QStringLiteral("Thermistors")), QStringLiteral("Frame7"));
  auto *f7 = new QVBoxLayout(frame7);
  f7->addWidget(buildThermistorArea());

  auto *left = new QVBoxLayout;
  left->addWidget(m_picMain, 0, Qt::AlignHCenter | Qt::AlignTop);
  left->addSpacing(12);
  left->addWidget(frame3, 1);
  grid->addLayout(left, 0, 0);
  grid->addWidget(frame6, 0, 1);
  grid->addWidget(frame7, 1, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(0, 1);
  setScrollingCentralWidget(central);

  buildMenus();
  buildStatusBar();
  addSimulatedPanel();
  buildHelpMenu();
  fitToScreen(screen()->availableGeometry());
}

QWidget *frmMain::buildGraphArea() {
  QWidget *area = container(QStringLiteral("Picture4"));
  auto *row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);

  m_phMax = named(new widgets::Knob(0, 20, QStringLiteral("Max.")), QStringLiteral("CWpHmax"));
  m_phMin = named(new widgets::Knob(0, 20, QStringLiteral("Min.")), QStringLiteral("CWpHmin"));
  auto *knobs = new QVBoxLayout;
  knobs->addWidget(m_phMax);
  knobs->addWidget(m_phMin);
  knobs->addStretch();
  row->addLayout(knobs);

  m_graph = named(new plot::TrendGraph, QStringLiteral("CWGraph1"));
  m_graph->setMinimumSize(360, 220);
  row->addWidget(m_graph, 1);

  auto *side = new QVBoxLayout;
  m_cwPlot =
      named(new widgets::TwoStateSwitch(QStringLiteral("Start Plot"), QStringLiteral("Pause Plot")),
            QStringLiteral("cwPlot"));
  m_cwPlot->setLightVisible(true);
  side->addWidget(m_cwPlot);
  m_chkpH1 = named(new QCheckBox(QStringLiteral("Plot pH1")), QStringLiteral("chkpH1"));
  m_chkpH2 = named(new QCheckBox(QStringLiteral("Plot pH2")), QStringLiteral("chkpH2"));
  m_chkpH1->setChecked(true);
  m_chkpH2->setChecked(true);
  side->addWidget(m_chkpH1);
  side->addWidget(m_chkpH2);
  m_graphMode =
      named(new widgets::PositionSelector(
                1, {QStringLiteral("Pan"), QStringLiteral("Cur"), QString()}, Qt::Vertical),
            QStringLiteral("GraphMode"));
  m_graphMode->setAccessibleName(QStringLiteral("Graph mode"));
  side->addWidget(m_graphMode, 0, Qt::AlignHCenter);
  m_resetScale =
      named(new QPushButton(QStringLiteral("Reset Scale")), QStringLiteral("Command1"));
  m_resetScale->setToolTip(
      QStringLiteral("Resets Y axis Min. Max settings after zoom or pan operation"));
  side->addWidget(m_resetScale);
  side->addStretch();
  row->addLayout(side);
  return area;
}

QWidget *frmMain::buildProbeReadings() {
  QWidget *area = container(QStringLiteral("Picture2"));
  auto *grid = new QGridLayout(area);
  // Room under probe 2's displays for their "calibration due" marks (probe 1's have the line).
  grid->setContentsMargins(0, 0, 0, console::DueMarks::overhang());

  struct Probe {
    const char *heading;
    const char *headingName;
    state::Quantity mV;
    state::Quantity pH;
    const char *corrCaption;
    const char *corrCaptionName;
    const char *entryName;
    const char *optionBox;
  };
  const Probe probes[2] = {
      {"pH Probe #1", "lblpH0", state::Quantity::Ph1mV, state::Quantity::Ph1, "Corr. 1", "Label5",
       "pHOffS1", "picPH1"},
      {"pH Probe #2", "Label1", state::Quantity::Ph2mV, state::Quantity::Ph2, "Corr. 2", "Label6",
       "pHOffS2", "Picture1"},
  };

  for (int p = 0; p < 2; ++p) {
    const Probe &probe = probes[p];
    const int top = p * 3;
    grid->addWidget(caption(probe.headingName, probe.heading, true), top, 0, 1, 3);
    addProbeDisplays(grid, top + 1, probe.mV, probe.pH);
    auto *side = new QGridLayout;
    QLabel *corrCaption = caption(probe.corrCaptionName, probe.corrCaption);
    side->addWidget(corrCaption, 0, 0);
    auto *entry = named(new widgets::NumericEntry, probe.entryName);
    m_phCorrections[p] = entry;
    entry->setAccessibleName(probe.corrCaption);
    corrCaption->setBuddy(entry);
    side->addWidget(entry, 0, 1);
    QWidget *optionBox = container(probe.optionBox);
    auto *options = new QHBoxLayout(optionBox);
    options->setContentsMargins(0, 0, 0, 0);
    auto *group = new QButtonGroup(this);
    group->setObjectName(p == 0 ? QStringLiteral("optTherm") : QStringLiteral("optTherm1"));
    for (int i = 0; i < 3; ++i) {
      auto *option = new QRadioButton(QStringLiteral("T-%1").arg(i + 1));
      option->setObjectName(QStringLiteral("%1_%2").arg(group->objectName()).arg(i));
      option->setChecked(i == 0);
      group->addButton(option, i);
      options->addWidget(option);
    }
    (p == 0 ? m_optTherm : m_optTherm1) = group;
    side->addWidget(optionBox, 1, 0, 1, 2);
    grid->addLayout(side, top + 1, 3);
    if (p == 0) {
      auto *line = named(new QFrame, QStringLiteral("Line1"));
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      grid->addWidget(line, 2, 0, 1, 4);
    }
  }
  return area;
}

void frmMain::addProbeDisplays(QGridLayout *grid, int row, state::Quantity mV, state::Quantity pH) {
  widgets::NumericDisplay *displays[3] = {quantityDisplay(mV), quantityDisplay(pH),
                                          correctedDisplay(pH)};
  m_displays[static_cast<int>(mV)] = displays[0]->label();
  m_displays[static_cast<int>(pH)] = displays[1]->label();
  m_correctedDisplays[static_cast<int>(pH)] = displays[2]->label();
  for (int i = 0; i < 3; ++i)
    grid->addWidget(displays[i], row, i);
}

QWidget *frmMain::buildPhControls() {
  QWidget *area = container(QStringLiteral("Picture3"));
  auto *column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  auto *cwbPh = channelSwitch(state::Channel::Ph, QStringLiteral("Enable DGH"),
                              QStringLiteral("Disable DGH"));
  cwbPh->setLightVisible(true);
  m_switches[static_cast<int>(state::Channel::Ph)] = cwbPh;
  column->addWidget(cwbPh);
  column->addSpacing(8);
  QLabel *label2 = caption(QStringLiteral("Label2"), QStringLiteral("Update rate (ms)"));
  column->addWidget(label2);
  // The box reads as its text; its caption is tied to it as its label.
  m_cmbUpdate = named(new widgets::ListChoiceBox, QStringLiteral("cmbUpdate"));
  m_cmbUpdate->setEditText(QStringLiteral("1000"));
  label2->setBuddy(m_cmbUpdate);
  column->addWidget(m_cmbUpdate);
  m_updateRate = named(new QPushButton(QStringLiteral("Update")), QStringLiteral("CWupdateRate"));
  column->addWidget(m_updateRate);
  column->addStretch();
  return area;
}

QWidget *frmMain::buildFlowArea() {
  QWidget *area = container(QStringLiteral("Picture6"));
  auto *grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  const state::Quantity shown[3] = {state::Quantity::FlowHz, state::Quantity::LitersPerMin,
                                    state::Quantity::TotalLiters};
  for (int i = 0; i < 3; ++i) {
    auto *display = quantityDisplay(shown[i]);
    m_displays[static_cast<int>(shown[i])] = display->label();
    grid->addWidget(display, i, 0);
  }
  const state::QuantityInfo &perMin = state::info(state::Quantity::LitersPerMin);
  auto *slide = named(new widgets::SlideGauge(Qt::Vertical),
                      QString::fromLatin1(console::controls(perMin.quantity).gauge));
  slide->setAxisRange(0, 5);
  slide->setCaption(QString::fromUtf8(perMin.unit));
  slide->setAccessibleName(QString::fromUtf8(perMin.unit));
  m_gauges[static_cast<int>(perMin.quantity)] = slide;
  grid->addWidget(slide, 0, 1, 3, 1);

  auto *cwbFlow =
      channelSwitch(state::Channel::Flow, QStringLiteral("Start"), QStringLiteral("Stop"));
  cwbFlow->setGreenFaceWhenOn(true);
  cwbFlow->setAccessibleDescription(QStringLiteral("Flow reading"));
  m_switches[static_cast<int>(state::Channel::Flow)] = cwbFlow;
  grid->addWidget(cwbFlow, 3, 0, 1, 2);
  m_resetFlow = named(new QPushButton(QStringLiteral("Reset")), QStringLiteral("CWButton3"));
  m_resetFlow->setAccessibleDescription(QStringLiteral("Resets the flow total"));
  grid->addWidget(m_resetFlow, 4, 0, 1, 2);
  return area;
}

QWidget *frmMain::buildThermistorArea() {
  QWidget *area = container(QStringLiteral("Picture5"));
  auto *grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  for (int k = 1; k <= 3; ++k) {
    const int row = k - 1;
    const state::Quantity therm = state::thermistor(k);
    const console::QuantityControls &names = console::controls(therm);
    const int q = static_cast<int>(therm);
    auto *raw = quantityDisplay(therm);
    m_displays[q] = raw->label();
    grid->addWidget(raw, row, 0);

    auto *offsetBox = new QVBoxLayout;
    QLabel *offsetCaption =
        caption(QStringLiteral("numOffset%1").arg(k), QStringLiteral("Offset %1").arg(k));
    offsetBox->addWidget(offsetCaption);
    auto *entry = named(new widgets::NumericEntry, QStringLiteral("CWNumEdit%1").arg(k));
    m_thermOffsets[row] = entry;
    entry->setAccessibleName(QStringLiteral("Offset %1").arg(k));
    offsetCaption->setBuddy(entry);
    offsetBox->addWidget(entry);
    grid->addLayout(offsetBox, row, 1);

    auto *corrected = correctedDisplay(therm);
    m_correctedDisplays[q] = corrected->label();
    grid->addWidget(corrected, row, 2);

    auto *slide = named(new widgets::SlideGauge(Qt::Horizontal), QString::fromLatin1(names.gauge));
    slide->setAxisRange(5, 25);
    slide->setMinMaxMarkersVisible(true);
    slide->setAccessibleName(QString::fromUtf8(names.correctedCaption));
    m_gauges[q] = slide;
    grid->addWidget(slide, row, 3);
  }
  grid->setColumnStretch(3, 1);

  m_therMax = named(new widgets::Knob(0, 30, QStringLiteral("Max.")), QStringLiteral("CWtherMax"));
  m_therMin = named(new widgets::Knob(0, 30, QStringLiteral("Min.")), QStringLiteral("CWtherMin"));
  auto *knobs = new QVBoxLayout;
  knobs->setSpacing(0);
  knobs->addWidget(m_therMax);
  knobs->addWidget(m_therMin);
  grid->addLayout(knobs, 0, 4, 3, 1);

  auto *controls = new QVBoxLayout;
  auto *cwbTherm =
      channelSwitch(state::Channel::Therm, QStringLiteral("Start"), QStringLiteral("Stop"));
  cwbTherm->setGreenFaceWhenOn(true);
  cwbTherm->setAccessibleDescription(QStringLiteral("Thermistor reading"));
  m_switches[static_cast<int>(state::Channel::Therm)] = cwbTherm;
  controls->addWidget(cwbTherm);
  m_resetTherm = named(new QPushButton(QStringLiteral("Reset")), QStringLiteral("cwbReset"));
  m_resetTherm->setAccessibleDescription(
      QStringLiteral("Resets the lowest and highest temperatures"));
  controls->addWidget(m_resetTherm);
  controls->addStretch();
  grid->addLayout(controls, 0, 5, 3, 1);
  return area;
}

void frmMain::buildMenus() {
  QMenuBar *bar = menuBar();
  QMenu *file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  // A past log file in a window of its own, which closes with the main window.
  QAction *openLog = file->addAction(QStringLiteral("&Open Log File…"));
  openLog->setObjectName(QStringLiteral("mnuOpenLog"));
  connect(openLog, &QAction::triggered, this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Log File"), QString(),
        QStringLiteral("Log files (*.csv *.log *.txt);;All files (*)"));
    if (path.isEmpty())
      return;
    history::LogWindowServices services;
    services.messages = this;
    auto *logWindow = new history::LogWindow(std::move(services), this);
    logWindow->setAttribute(Qt::WA_DeleteOnClose);
    logWindow->show();
    logWindow->openFile(path);
  });
  QAction *exit = file->addAction(QStringLiteral("E&xit"));
  exit->setObjectName(QStringLiteral("mnuExit"));
  connect(exit, &QAction::triggered, this, &frmMain::exitProgram);

  QMenu *log = bar->addMenu(QStringLiteral("&Logging"));
  log->setObjectName(QStringLiteral("mnuLog"));
  m_mnuLogSetup = log->addAction(QStringLiteral("&Setup"));
  m_mnuLogSetup->setObjectName(QStringLiteral("mnuLogSetup"));
  m_mnuStop = log->addAction(QStringLiteral("S&top Logging"));
  m_mnuStop->setObjectName(QStringLiteral("mnuStop"));
  m_mnuStop->setEnabled(false);
  m_mnuAddNote = log->addAction(QStringLiteral("Add &Note…"));
  m_mnuAddNote->setObjectName(QStringLiteral("mnuAddNote"));
  m_mnuAddNote->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));

  m_mnuCal = bar->addMenu(QStringLiteral("&Calibration"));
  m_mnuCal->setObjectName(QStringLiteral("mnuCal"));
  m_mnuPhCal = m_mnuCal->addAction(QStringLiteral("&pH calibration values"));
  m_mnuPhCal->setObjectName(QStringLiteral("mnuPhCal"));

  // The menu-bar entry itself is the command.
  m_mnuComPort = bar->addAction(QStringLiteral("C&omm Port"));
  m_mnuComPort->setObjectName(QStringLiteral("mnuComPort"));
  connect(m_mnuComPort, &QAction::triggered, this, &frmMain::commPortCommand);
}

void frmMain::buildStatusBar() {
  QStatusBar *bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setSizeGripEnabled(false);
  const int widths[4] = {530, 96, 96, 96};
  for (int i = 0; i < 4; ++i) {
    m_panels[i] = named(new QLabel, QStringLiteral("Panel%1").arg(i + 1));
    m_panels[i]->setMinimumWidth(widths[i]);
    m_panels[i]->setFrameShape(QFrame::StyledPanel);
    m_panels[i]->setFrameShadow(QFrame::Sunken);
  }
  m_panel4Picture = named(new QLabel, QStringLiteral("Panel4Picture"));
  auto *panel4 = new QWidget;
  auto *row = new QHBoxLayout(panel4);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  row->addWidget(m_panel4Picture);
  row->addWidget(m_panels[3], 1);
  bar->addWidget(m_panels[0], 1);
  bar->addWidget(m_panels[1]);
  bar->addWidget(m_panels[2]);
  bar->addWidget(panel4);
}
