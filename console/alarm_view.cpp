#include "console/alarm_view.h"

#include "acquisition/session.h"
#include "alarms/alarm_limits_dialog.h"
#include "alarms/alarm_list.h"
#include "alarms/alarm_monitor.h"
#include "console/display_description.h"
#include "console/window_controls.h"
#include "logging/log_controller.h"
#include "publish/alarm_topics.h"
#include "publish/mqtt_publisher.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace console {
namespace {

using alarms::Alarm;
using alarms::AlarmState;

const QColor alarmBackground(0xFF, 0xB0, 0x00); // amber: unlike any trace or display colour
constexpr int flashMs = 500;
constexpr int bellMs = 2000;

// The more urgent of two states, for a display that more than one alarm marks.
int urgency(AlarmState state) {
  switch (state) {
  case AlarmState::ActiveUnacknowledged:
    return 3;
  case AlarmState::ActiveAcknowledged:
    return 2;
  case AlarmState::ReturnedUnacknowledged:
    return 1;
  default:
    return 0;
  }
}

} // namespace

AlarmView::AlarmView(const AlarmViewParts &parts)
    : QObject(&parts.window), m_window(parts.window), m_messages(parts.messages),
      m_displays(parts.displays), m_correctedDisplays(parts.correctedDisplays) {
  alarms::AlarmMonitor::Options options;
  options.command = parts.command;
  options.repeatMinutes = parts.repeatMinutes;
  options.heartbeat = parts.heartbeat;
  m_monitor = new alarms::AlarmMonitor(parts.state, options, &parts.window);
  m_monitor->setObjectName(QStringLiteral("alarmMonitor"));
  connect(&parts.session, &acquisition::Session::readingStored, m_monitor,
          &alarms::AlarmMonitor::readingStored);
  connect(&parts.session, &acquisition::Session::channelFailed, m_monitor,
          &alarms::AlarmMonitor::channelFailed);
  // Queued: a failure's channelFailed reaches the monitor before the switch-off it causes, so
  // the channel stays watched for its silence.
  connect(&parts.session, &acquisition::Session::channelSwitched, m_monitor,
          &alarms::AlarmMonitor::channelSwitched, Qt::QueuedConnection);
  mapDisplays();
  buildIndicator();
  buildMenu(parts.menuAfter);

  connect(m_monitor, &alarms::AlarmMonitor::alarmEvent, this, [this](const alarms::AlarmEvent &e) {
    showDisplays();
    showIndicator();
    if (m_list)
      m_list->refresh(m_monitor->engine());
    if (e.kind == alarms::EventKind::Raised && !m_mute->isChecked())
      QApplication::beep();
  });
  connect(m_monitor, &alarms::AlarmMonitor::notesChanged, this, [this] { showIndicator(); });
  m_flash.setInterval(flashMs);
  connect(&m_flash, &QTimer::timeout, this, [this] {
    m_flashOn = !m_flashOn;
    showDisplays();
  });
  m_flash.start();
  m_bell.setInterval(bellMs);
  connect(&m_bell, &QTimer::timeout, this, [this] {
    if (m_monitor->engine().unacknowledgedCount() > 0 && !m_mute->isChecked())
      QApplication::beep();
  });
  m_bell.start();
  showIndicator();
}

// A limit alarm marks the display that shows the value it compares (the corrected pH, the
// temperature with its offset); a no-reading alarm marks every display of its channel.
void AlarmView::mapDisplays() {
  for (const Alarm alarm : alarms::allAlarms) {
    if (!alarms::isNoReading(alarm)) {
      const int k = static_cast<int>(alarms::quantity(alarm));
      addDisplay(m_correctedDisplays[k] ? m_correctedDisplays[k] : m_displays[k], alarm);
      continue;
    }
    for (const state::QuantityInfo &info : state::quantities) {
      if (info.channel != alarms::channel(alarm))
        continue;
      const int k = static_cast<int>(info.quantity);
      addDisplay(m_displays[k], alarm);
      addDisplay(m_correctedDisplays[k], alarm);
    }
  }
}

void AlarmView::addDisplay(QLabel *label, Alarm alarm) {
  if (!label)
    return;
  for (Marked &marked : m_marked)
    if (marked.label == label) {
      marked.alarms.push_back(alarm);
      return;
    }
  m_marked.push_back({label, label->palette(), {alarm}});
}

void AlarmView::showDisplays() {
  for (const Marked &marked : m_marked) {
    const alarms::AlarmStatus *worst = nullptr;
    for (const Alarm alarm : marked.alarms) {
      const alarms::AlarmStatus &status = m_monitor->engine().status(alarm);
      if (!worst || urgency(status.state) > urgency(worst->state))
        worst = &status;
    }
    const AlarmState state = worst->state;
    const bool lit = state == AlarmState::ActiveAcknowledged ||
                     (state == AlarmState::ActiveUnacknowledged && m_flashOn);
    QPalette palette = marked.palette;
    if (lit) {
      palette.setColor(QPalette::Window, alarmBackground);
      palette.setColor(QPalette::WindowText, Qt::black);
    }
    if (marked.label->palette() != palette)
      marked.label->setPalette(palette);
    console::describeDisplay(marked.label, console::alarmPart,
                             urgency(state) > 0 ? alarms::describe(*worst) : QString());
  }
}

void AlarmView::buildIndicator() {
  m_indicator = new QToolButton(&m_window);
  m_indicator->setObjectName(QStringLiteral("cmdAlarms"));
  m_indicator->setAutoRaise(true);
  // After the four panels, which keep their places.
  m_window.statusBar()->addWidget(m_indicator);
  connect(m_indicator, &QToolButton::clicked, this, &AlarmView::openList);
}

void AlarmView::showIndicator() {
  const alarms::AlarmEngine &engine = m_monitor->engine();
  const int unacknowledged = engine.unacknowledgedCount();
  const QString text = QStringLiteral("Alarms: %1").arg(engine.activeCount());
  m_indicator->setText(text);
  m_indicator->setAccessibleName(text);
  QStringList tip;
  tip << (unacknowledged > 0 ? QStringLiteral("%1 to acknowledge").arg(unacknowledged)
                             : QStringLiteral("None to acknowledge"));
  tip += m_monitor->notes();
  m_indicator->setToolTip(tip.join(QLatin1Char('\n')));
  m_indicator->setAccessibleDescription(tip.join(QStringLiteral("; ")));
  m_indicator->setStyleSheet(
      unacknowledged > 0
          ? QStringLiteral("QToolButton { background: #FFB000; color: black; font-weight: bold; }")
          : QString());
}

void AlarmView::buildMenu(QAction *after) {
  auto *menu = new QMenu(QStringLiteral("&Alarms"), &m_window);
  menu->setObjectName(QStringLiteral("mnuAlarms"));
  const auto add = [&](const QString &text, const char *name) {
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
  };
  connect(add(QStringLiteral("&Limits…"), "mnuAlarmLimits"), &QAction::triggered, this,
          &AlarmView::openLimits);
  connect(add(QStringLiteral("Alarm &List…"), "mnuAlarmList"), &QAction::triggered, this,
          &AlarmView::openList);
  connect(add(QStringLiteral("&Acknowledge All"), "mnuAlarmAckAll"), &QAction::triggered,
          m_monitor, &alarms::AlarmMonitor::acknowledgeAll);
  menu->addSeparator();
  m_mute = add(QStringLiteral("&Mute Sound"), "mnuAlarmMute");
  m_mute->setCheckable(true);
  // Right after "Comm Port", before anything added to the menu bar later.
  QMenuBar *bar = m_window.menuBar();
  const QList<QAction *> entries = bar->actions();
  QAction *before = nullptr;
  for (int i = 0; i + 1 < entries.size(); ++i)
    if (entries[i] == after)
      before = entries[i + 1];
  menu->menuAction()->setObjectName(QStringLiteral("mnuAlarmsMenu"));
  bar->insertMenu(before, menu);
}

void AlarmView::followLogging(logging::LogController &logging) {
  connect(&logging, &logging::LogController::logFileTextChanged, this,
          [this](const QString &path) { m_logFile = path; });
  connect(&logging, &logging::LogController::statusChanged, this, [this, controller = &logging] {
    m_monitor->setLogFile(controller->isFileOpen() ? m_logFile : QString());
  });
  connect(&logging, &logging::LogController::recordWritten, m_monitor,
          &alarms::AlarmMonitor::logRecordWritten);
}

void AlarmView::publishTo(publish::MqttPublisher &publisher) {
  publish::publishAlarms(publisher, *m_monitor);
  connect(&publisher, &publish::MqttPublisher::commandReceived, this,
          [monitor = m_monitor](const publish::AlarmCommand &command) {
            monitor->setActingUser(publish::commandUser(command));
            switch (command.kind) {
            case publish::AlarmCommand::Kind::Acknowledge:
              monitor->acknowledge(*command.alarm);
              break;
            case publish::AlarmCommand::Kind::AcknowledgeAll:
              monitor->acknowledgeAll();
              break;
            case publish::AlarmCommand::Kind::Shelve:
              monitor->shelve(*command.alarm, command.minutes);
              break;
            case publish::AlarmCommand::Kind::Unshelve:
              monitor->unshelve(*command.alarm);
              break;
            }
            monitor->setActingUser(QString());
          });
}

void AlarmView::openLimits() {
  if (!m_limits) {
    m_limits = new alarms::AlarmLimitsDialog(m_messages, &m_window);
    m_limits->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_limits, &alarms::AlarmLimitsDialog::settingsChosen, m_monitor,
            &alarms::AlarmMonitor::setSettings);
  }
  m_limits->showSettings(m_monitor->settings());
  m_limits->show();
  m_limits->raise();
  m_limits->activateWindow();
}

void AlarmView::openList() {
  if (!m_list) {
    m_list = new alarms::AlarmList(&m_window);
    alarms::AlarmMonitor *monitor = m_monitor;
    connect(m_list, &alarms::AlarmList::acknowledgeRequested, monitor,
            &alarms::AlarmMonitor::acknowledge);
    connect(m_list, &alarms::AlarmList::acknowledgeAllRequested, monitor,
            &alarms::AlarmMonitor::acknowledgeAll);
    connect(m_list, &alarms::AlarmList::shelveRequested, monitor, &alarms::AlarmMonitor::shelve);
    connect(m_list, &alarms::AlarmList::unshelveRequested, monitor,
            &alarms::AlarmMonitor::unshelve);
  }
  m_list->refresh(m_monitor->engine());
  m_list->show();
  m_list->raise();
  m_list->activateWindow();
}

} // namespace console
