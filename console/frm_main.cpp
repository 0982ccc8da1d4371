#include "console/frm_main.h"

#include "console/alarm_view.h"
#include "console/due_marks.h"
#include "runs/message_list.h"

#include "acquisition/session.h"
#include "calibration/calibration_opener.h"
#include "calibration/calibration_store.h"
#include "logging/log_controller.h"
#include "publish/mqtt_publisher.h"
#include "publish/topics.h"
#include "widgets/knob.h"
#include "widgets/list_choice_box.h"
#include "widgets/numeric_entry.h"
#include "widgets/position_selector.h"
#include "widgets/slide_gauge.h"
#include "widgets/two_state_switch.h"

#include "plot/trend_graph.h"
#include "plot/trend_plot.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

// Update-rate list: position to tmrRd interval in milliseconds.
const int updateRates[] = {1000, 500, 250, 200, 100};

} // namespace

frmMain::frmMain(tiltdgh::SerialLine &line, tiltdgh::MillisecondClock &clock,
                 FrmMainServices services, QWidget *parent)
    : QMainWindow(parent), m_line(line), m_clock(clock),
      m_services(std::move(services)), m_link{line, clock, *this} {
  if (m_services.messages)
    m_link.messages = *m_services.messages;
  buildWindow();
  m_session = new acquisition::Session(m_link, m_state, this);
  connectHandlers();
  m_calibration = std::make_unique<calibration::CalibrationOpener>(m_state, m_link.messages, this);
  connect(m_mnuPhCal, &QAction::triggered, this, [this] { m_calibration->open(); });
  connectCalibrationRecords();
  connectLogging();

  setWindowIconFromFiles();

  m_trend = new plot::TrendPlot(
      m_state, m_graph, m_tmrPlot, m_chkpH1, m_chkpH2, [] { return QDateTime::currentDateTime(); },
      this);
  connect(m_cwPlot, &QAbstractButton::toggled, m_trend, &plot::TrendPlot::setPlotting);
  connect(m_graphMode, &QAbstractSlider::valueChanged, m_trend, &plot::TrendPlot::setGraphMode);
  connect(m_trend, &plot::TrendPlot::cursorReadout, this,
          [this](const QString &panel2, const QString &panel3) {
            m_panels[1]->setText(panel2);
            m_panels[2]->setText(panel3);
          });
  console::AlarmViewParts alarmParts{*this, m_state, *m_session, m_link.messages,
                                     m_services.alarmCommand};
  alarmParts.displays = m_displays;
  alarmParts.correctedDisplays = m_correctedDisplays;
  alarmParts.menuAfter = m_mnuComPort;
  alarmParts.repeatMinutes = m_services.alarmRepeatMinutes;
  alarmParts.heartbeat = m_services.alarmHeartbeat;
  // The publisher follows the session before the alarms do, so a reading goes out before an
  // alarm it raises.
  if (m_services.mqtt)
    connectPublisher();
  m_alarmView = new console::AlarmView(alarmParts);
  m_alarmView->followLogging(*m_logging);
  if (m_publisher)
    m_alarmView->publishTo(*m_publisher);
  m_mnuAddNote->setEnabled(m_services.run.has_value());
  if (m_services.run)
    connectRun();
}

void frmMain::connectRun() {
  console::RunOptions &run = *m_services.run;
  if (run.unattended) {
    // Nobody is there to press OK: every message goes to a list, standard error and the journal,
    // and the read ticks go on.
    m_messageList = new runs::MessageList(
        [this](const QString &text, const QString &title) {
          if (m_runKeeper)
            m_runKeeper->journalMessage(text, title);
        },
        this);
    m_services.messages = m_messageList;
    auto *button = new QPushButton(QStringLiteral("Messages: 0"), this);
    button->setObjectName(QStringLiteral("cmdMessages"));
    button->setFlat(true);
    statusBar()->addWidget(button);
    connect(m_messageList, &runs::MessageList::countChanged, button,
            [button](int count) { button->setText(QStringLiteral("Messages: %1").arg(count)); });
    connect(button, &QPushButton::clicked, m_messageList, &runs::MessageList::show);
  }
  console::RunControls controls;
  for (int k = 0; k < state::channelCount; ++k)
    controls.switches[k] = m_switches[k];
  controls.updateRate = m_cmbUpdate;
  controls.applyRate = m_updateRate;
  controls.plot = m_cwPlot;
  controls.plotPh1 = m_chkpH1;
  controls.plotPh2 = m_chkpH2;
  controls.logging = m_logging;
  controls.session = m_session;
  controls.line = &m_line;
  m_runKeeper = new console::RunKeeper(run, controls, this);
  if (m_publisher) {
    connect(m_runKeeper, &console::RunKeeper::eventJournaled, m_publisher.get(),
            [publisher = m_publisher.get()](const runs::EventEntry &e) {
              publisher->publishEvent(e.event, e.detail, e.user, e.timeMs);
            });
    connect(m_publisher.get(), &publish::MqttPublisher::commandRefused, m_runKeeper,
            &console::RunKeeper::journalRefusedCommand);
  }
  connect(m_mnuAddNote, &QAction::triggered, this, [this] {
    const std::optional<QString> text = askText(QStringLiteral("Note:"), QStringLiteral("Add Note"));
    if (text && !text->trimmed().isEmpty())
      m_runKeeper->addNote(text->trimmed());
  });
  connect(m_runKeeper, &console::RunKeeper::notesChanged, this,
          [this](const QString &notes) { m_panels[0]->setToolTip(notes); });
}

void frmMain::connectPublisher() {
  const publish::MqttConfigResult &mqtt = *m_services.mqtt;
  m_publisher = mqtt.config ? std::make_unique<publish::MqttPublisher>(m_state, *mqtt.config, this)
                            : std::make_unique<publish::MqttPublisher>(m_state, mqtt.error, this);
  m_publisher->setObjectName(QStringLiteral("mqttPublisher"));
  publish::MqttPublisher *publisher = m_publisher.get();
  publisher->setRetained(QLatin1String(publish::topics::simulated),
                         m_services.simulated ? "true" : "false");
  // On the right, after the status bar's four panels, which keep their places. The label names
  // the state; the reason is in its tool tip and on standard error.
  auto *label = new QLabel(this);
  label->setObjectName(QStringLiteral("lblMqtt"));
  statusBar()->addPermanentWidget(label);
  static const char *const names[] = {"MQTT: off", "MQTT: connecting", "MQTT: connected",
                                      "MQTT: retrying"};
  // As wide as the widest state, so that the panels do not move when the state changes.
  int width = 0;
  for (const char *name : names)
    width = std::max(width, label->fontMetrics().horizontalAdvance(QLatin1String(name)));
  label->setFixedWidth(width + 2 * label->fontMetrics().averageCharWidth());
  const auto show = [label](publish::ConnectionState state, const QString &text) {
    label->setText(QLatin1String(names[static_cast<int>(state)]));
    label->setToolTip(text);
    label->setAccessibleDescription(text);
  };
  show(publisher->connectionState(), publisher->stateText());
  connect(publisher, &publish::MqttPublisher::stateChanged, label, show);
  connect(m_session, &acquisition::Session::readingStored, publisher,
          &publish::MqttPublisher::readingStored);
  connect(m_session, &acquisition::Session::channelSwitched, publisher,
          &publish::MqttPublisher::switchChanged);
}

void frmMain::connectLogging() {
  // Total Liters is logged as its display shows it.
  m_logging = new logging::LogController(
      m_state, [this] { return m_texts.text(state::Quantity::TotalLiters); },
      m_tmrLogger, m_link.messages, iconsDir(), this);
  connect(m_logging, &logging::LogController::logFileTextChanged, m_panels[0], &QLabel::setText);
  connect(m_logging, &logging::LogController::statusChanged, this,
          [this](const QString &text, const QString &picturePath) {
            m_panels[3]->setText(text);
            QPixmap picture;
            picture.load(picturePath); // a missing light leaves the panel without one
            m_panel4Picture->setPixmap(picture);
          });
  connect(m_logging, &logging::LogController::setupEnabledChanged, m_mnuLogSetup,
          &QAction::setEnabled);
  connect(m_logging, &logging::LogController::stopEnabledChanged, m_mnuStop, &QAction::setEnabled);
  connect(m_mnuLogSetup, &QAction::triggered, m_logging, &logging::LogController::setup);
  connect(m_mnuStop, &QAction::triggered, m_logging, &logging::LogController::stopLogging);
}

frmMain::~frmMain() {
  // The port is released as the window goes away, whatever ended the program.
  m_tmrRd->stop();
  m_line.close();
}

void frmMain::connectHandlers() {
  connect(m_tmrRd, &QTimer::timeout, this, &frmMain::readTick);
  connect(m_session, &acquisition::Session::readingStored, this, &frmMain::showReading);
  // A failure turns the switch off; its change handling then stops the channel.
  connect(m_session, &acquisition::Session::channelFailed, this, [this](state::Channel channel) {
    m_switches[static_cast<int>(channel)]->setChecked(false);
  });
  for (const state::ChannelInfo &channel : state::channels)
    connect(m_switches[static_cast<int>(channel.channel)], &QAbstractButton::toggled, this,
            [this, id = channel.channel](bool on) { onChannelSwitch(id, on); });

  // A push button has one change, its press: mouse, keyboard, the accessibility action "Press"
  // and click() all end in clicked(). Each handler below gives the same result when it runs twice.
  connect(m_updateRate, &QPushButton::clicked, this, &frmMain::applyUpdateRate);
  // Typing leaves no entry chosen (the box sees to that), so the typed text never sets the rate:
  // the period stays and starts afresh.
  connect(m_cmbUpdate, &widgets::ListChoiceBox::textTyped, this, &frmMain::applyUpdateRate);
  connect(m_resetTherm, &QPushButton::clicked, this, &frmMain::resetThermistorGauges);
  connect(m_resetFlow, &QPushButton::clicked, this, &frmMain::resetFlowTotal);
  connectAdjustments();
  connectScales();
}

void frmMain::connectAdjustments() {
  // Operator adjustments: each copies a control's value into the state.
  // The thermistors' offsets and the probes' corrections: the catalogue says which field each
  // quantity's correction is.
  const std::pair<widgets::NumericEntry *, state::Quantity> entries[] = {
      {m_thermOffsets[0], state::Quantity::Therm1}, {m_thermOffsets[1], state::Quantity::Therm2},
      {m_thermOffsets[2], state::Quantity::Therm3}, {m_phCorrections[0], state::probe(1).pHQuantity},
      {m_phCorrections[1], state::probe(2).pHQuantity},
  };
  for (const auto &[entry, quantity] : entries)
    connect(entry, &QDoubleSpinBox::valueChanged, this,
            [this, field = state::info(quantity).correction](double value) {
              m_state.*field = value;
            });
  // Ticked is True; clear and greyed (partially checked) are False.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
  constexpr auto checkStateChanged = &QCheckBox::checkStateChanged;
#else
  constexpr auto checkStateChanged = &QCheckBox::stateChanged;
#endif
  connect(m_chkpH1, checkStateChanged, this,
          [this](int state) { m_state.plotPh1 = state == Qt::Checked; });
  connect(m_chkpH2, checkStateChanged, this,
          [this](int state) { m_state.plotPh2 = state == Qt::Checked; });
  // The button that becomes chosen gives the thermistor; the one left emits false and is ignored.
  connect(m_optTherm, &QButtonGroup::idToggled, this, [this](int position, bool chosen) {
    if (chosen && position >= 0 && position <= 2)
      m_state.ph1ThermSelect = position + 1;
  });
  connect(m_optTherm1, &QButtonGroup::idToggled, this, [this](int position, bool chosen) {
    if (chosen && position >= 0 && position <= 2)
      m_state.ph2ThermSelect = position + 1;
  });
}

void frmMain::connectScales() {
  connect(m_therMax, &QDial::valueChanged, this, [this](int value) {
    for (int k = 1; k <= 3; ++k)
      m_gauges[static_cast<int>(state::thermistor(k))]->setAxisMaximum(value);
  });
  connect(m_therMin, &QDial::valueChanged, this, [this](int value) {
    for (int k = 1; k <= 3; ++k)
      m_gauges[static_cast<int>(state::thermistor(k))]->setAxisMinimum(value);
  });
  connect(m_phMin, &QDial::valueChanged, this, &frmMain::setPhAxisRange);
  connect(m_phMax, &QDial::valueChanged, this, &frmMain::setPhAxisRange);
  connect(m_resetScale, &QPushButton::clicked, this, &frmMain::setPhAxisRange);
}

void frmMain::readTick() {
  // A reader's message box runs a nested event loop; a tick falling due meanwhile is dropped.
  if (m_inReadTick)
    return;
  m_inReadTick = true;
  m_session->readCycle();
  if (m_publisher)
    m_publisher->checkCalibration();
  m_inReadTick = false;
}

void frmMain::onChannelSwitch(state::Channel channel, bool on) {
  m_texts.channelSwitched(channel, on);
  m_session->switchChannel(channel, on);
  if (on)
    return;
  // The gauges rest at 0; their "min" and "max" markers keep following the readings shown.
  // Displays not blanked keep their last text.
  for (const console::QuantityControls &c : console::quantityControls) {
    if (state::info(c.quantity).channel != channel)
      continue;
    const int k = static_cast<int>(c.quantity);
    if (c.blankedWhenOff)
      m_displays[k]->clear();
    if (m_gauges[k])
      m_gauges[k]->setGaugeValueUntracked(0);
  }
}

void frmMain::showReading(const state::Reading &reading) {
  m_texts.reading(reading);
  const int k = static_cast<int>(reading.quantity);
  m_displays[k]->setText(reading.text);
  if (m_correctedDisplays[k])
    m_correctedDisplays[k]->setText(reading.correctedText);
  if (m_gauges[k])
    m_gauges[k]->setGaugeValue(m_texts.gaugeValue(reading.quantity));
}

void frmMain::applyUpdateRate() {
  m_tmrRd->stop();
  const int position = m_cmbUpdate->currentIndex();
  if (position >= 0 && position < static_cast<int>(std::size(updateRates)))
    m_tmrRd->setInterval(updateRates[position]);
  m_tmrRd->start(); // the period starts afresh, changed or not
}

void frmMain::resetThermistorGauges() {
  for (int k = 1; k <= 3; ++k)
    m_gauges[static_cast<int>(state::thermistor(k))]->resetMinMax();
}

void frmMain::resetFlowTotal() {
  // totalLiters and its label keep their values until the next flow read.
  m_state.flowHzSum = 0;
}

void frmMain::setPhAxisRange() { m_trend->setPhAxisRange(m_phMin->value(), m_phMax->value()); }

void frmMain::showMessage(const QString &text, const QString &title) {
  // Unattended, the list journals what it is given and never waits; a box waits for OK, and the
  // journal keeps how long the read ticks waited with it.
  const bool waits = m_runKeeper && !m_messageList;
  if (waits)
    m_runKeeper->journalMessage(text, title);
  if (m_services.messages) {
    m_services.messages->showMessage(text, title);
  } else {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    box.exec();
  }
  if (waits)
    m_runKeeper->journalAnswered();
}

bool frmMain::load() {
  // 1. The port first, before anything else.
  if (!openPortAtStart())
    return false;
  // 2. The update rates; no entry is chosen and the text stays "1000".
  {
    const QSignalBlocker block(m_cmbUpdate);
    for (int rate : updateRates)
      m_cmbUpdate->addItem(QString::number(rate));
    m_cmbUpdate->setCurrentIndex(-1);
    m_cmbUpdate->setEditText(QStringLiteral("1000"));
  }
  // 3. The logo.
  if (!loadPicture(m_picMain, QStringLiteral("OSTRA LOGO4.gif")))
    return false;
  // 4. Both traces are plotted.
  m_state.plotPh1 = true;
  m_state.plotPh2 = true;
  // 5. Not logging, as the log controller tells it; a red light that cannot be loaded ends the
  // start.
  m_logging->announceState();
  if (!loadPicture(m_panel4Picture, QStringLiteral("redlight.bmp")))
    return false;
  // 6. Scale knobs, each handled as a change of that knob.
  m_therMax->setValue(25);
  m_therMin->setValue(5);
  m_phMax->setValue(15);
  // 7. The probes' calibration. A store that cannot be read, and each stored value that cannot
  // be used, leaves its default in force; the operator is told once, in one message.
  calibration::loadCoefficients(m_state);
  if (const QStringList problems = calibration::settingsProblems(); !problems.isEmpty())
    showMessage(problems.join(QLatin1Char('\n')));
  startCalibrationDue();
  // Again now that the pictures are in: the status bar's height follows its light.
  fitToScreen(screen()->availableGeometry());

  m_tmrRd->start();
  return true;
}

void frmMain::exitProgram() { close(); }

void frmMain::closeEvent(QCloseEvent *event) {
  // Exit and the close box end the program at once: nothing is asked or saved; the port is
  // released here and an open log file is closed, with what it holds, as its owner goes away.
  m_tmrRd->stop();
  m_tmrPlot->stop();
  m_tmrLogger->stop();
  m_line.close();
  if (m_runKeeper)
    m_runKeeper->exiting();
  event->accept();
  QCoreApplication::quit();
}
