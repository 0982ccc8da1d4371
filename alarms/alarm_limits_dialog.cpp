#include "alarms/alarm_limits_dialog.h"

#include "alarms/alarm_limits.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

namespace alarms {
namespace {

const char *const roleNames[] = {"low limit", "high limit", "deadband", "on-delay"};
const char *const roleKeys[] = {"low", "high", "deadband", "delay"};

QString rowCaption(Alarm alarm) {
  if (isNoReading(alarm))
    return name(alarm);
  return QStringLiteral("%1 (%2)").arg(name(alarm),
                                       QString::fromUtf8(state::info(quantity(alarm)).unit));
}

} // namespace

AlarmLimitsDialog::AlarmLimitsDialog(tiltdgh::OperatorMessages &messages, QWidget *parent)
    : QDialog(parent), m_messages(messages) {
  setObjectName(QStringLiteral("frmAlarmLimits"));
  setWindowTitle(QStringLiteral("Alarm Limits"));
  auto *grid = new QGridLayout;
  const QStringList headings{QStringLiteral("Low"), QStringLiteral("High"),
                             QStringLiteral("Deadband"), QStringLiteral("On-delay (s)")};
  for (int role = 0; role < 4; ++role)
    grid->addWidget(new QLabel(headings[role]), 0, role + 1);
  int row = 1;
  for (const Alarm alarm : allAlarms) {
    if (alarm == Alarm::PhSilent) {
      grid->addWidget(new QLabel(QStringLiteral("<b>No reading for (s)</b>")), row++, 0, 1, 5);
    }
    auto *caption = new QLabel(rowCaption(alarm));
    grid->addWidget(caption, row, 0);
    const int roles = isNoReading(alarm) ? 1 : 4;
    for (int role = 0; role < roles; ++role) {
      auto *edit = new QLineEdit;
      edit->setObjectName(QStringLiteral("txtAlarm_%1_%2")
                              .arg(key(alarm), isNoReading(alarm) ? QStringLiteral("no_reading")
                                                                  : QString::fromLatin1(roleKeys[role])));
      edit->setAccessibleName(isNoReading(alarm)
                                  ? name(alarm).replace(QStringLiteral(" (no reading)"),
                                                        QStringLiteral(" no-reading time"))
                                  : QStringLiteral("%1 %2").arg(name(alarm),
                                                                QLatin1String(roleNames[role])));
      edit->setMaximumWidth(90);
      if (role == 0)
        caption->setBuddy(edit);
      grid->addWidget(edit, row, role + 1);
      m_fields[index(alarm)][role] = edit;
    }
    ++row;
  }
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &AlarmLimitsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("An empty field is off. pH and temperatures as "
                                              "displayed, with their corrections and offsets.")));
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

void AlarmLimitsDialog::setLocale(const QLocale &locale) {
  m_locale = locale;
  QDialog::setLocale(locale);
}

QLineEdit *AlarmLimitsDialog::field(Alarm alarm, int role) const {
  return m_fields[index(alarm)][role];
}

QString AlarmLimitsDialog::text(std::optional<double> value) const {
  if (!value)
    return {};
  QString shown = m_locale.toString(*value, 'g', QLocale::FloatingPointShortest);
  return shown.remove(m_locale.groupSeparator());
}

void AlarmLimitsDialog::showSettings(const AlarmSettings &settings) {
  for (int i = 0; i < limitAlarmCount; ++i) {
    const Limits &limits = settings.limits[i];
    m_fields[i][0]->setText(text(limits.low));
    m_fields[i][1]->setText(text(limits.high));
    m_fields[i][2]->setText(limits.deadband != 0 ? text(limits.deadband) : QString());
    m_fields[i][3]->setText(limits.onDelaySeconds != 0 ? text(limits.onDelaySeconds) : QString());
  }
  for (int c = 0; c < state::channelCount; ++c) {
    const double seconds = settings.noReadingSeconds[c];
    m_fields[limitAlarmCount + c][0]->setText(seconds > 0 ? text(seconds) : QString());
  }
}

bool AlarmLimitsDialog::readField(Alarm alarm, int role, std::optional<double> &value) {
  QLineEdit *edit = field(alarm, role);
  const QString typed = edit->text().trimmed();
  value.reset();
  if (typed.isEmpty())
    return true;
  bool ok = false;
  const double number = m_locale.toDouble(typed, &ok);
  if (ok && std::isfinite(number)) {
    value = number;
    return true;
  }
  m_messages.showMessage(QStringLiteral("%1: \"%2\" is not a number (%3).")
                             .arg(name(alarm), typed, edit->accessibleName()));
  edit->setFocus();
  return false;
}

bool AlarmLimitsDialog::read(AlarmSettings &settings) {
  for (int i = 0; i < limitAlarmCount; ++i) {
    const Alarm alarm = static_cast<Alarm>(i);
    std::optional<double> low, high, deadband, delay;
    if (!readField(alarm, 0, low) || !readField(alarm, 1, high) ||
        !readField(alarm, 2, deadband) || !readField(alarm, 3, delay))
      return false;
    const Limits limits{low, high, deadband.value_or(0), delay.value_or(0)};
    if (const QString why = refusal(name(alarm), limits); !why.isEmpty()) {
      m_messages.showMessage(why);
      return false;
    }
    settings.limits[i] = limits;
  }
  for (int c = 0; c < state::channelCount; ++c) {
    const Alarm alarm = noReadingAlarm(static_cast<state::Channel>(c));
    std::optional<double> seconds;
    if (!readField(alarm, 0, seconds))
      return false;
    if (const QString why = refusalOfNoReading(name(alarm), seconds.value_or(0)); !why.isEmpty()) {
      m_messages.showMessage(why);
      return false;
    }
    settings.noReadingSeconds[c] = seconds.value_or(0);
  }
  return true;
}

void AlarmLimitsDialog::accept() {
  AlarmSettings settings;
  if (!read(settings))
    return;
  emit settingsChosen(settings);
  QDialog::accept();
}

} // namespace alarms
