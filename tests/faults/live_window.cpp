#include "tests/faults/live_window.h"

#include "widgets/two_state_switch.h"

#include <QLabel>

#include <cmath>

namespace faults {

namespace {

tiltdgh::PortDevices portOneAt(const QString &device) {
  tiltdgh::PortDevices devices;
  devices.map(1, device);
  return devices;
}

} // namespace

LiveWindow::LiveWindow(const QString &device) : line(portOneAt(device)) {
  FrmMainServices services;
  services.messages = &messages;
  services.askText = [this](const QString &, const QString &) -> std::optional<QString> {
    if (answers.empty())
      return std::nullopt;
    const bool cancel = !answers.front().has_value();
    const QString text = answers.front().value_or(QString());
    answers.pop_front();
    return cancel ? std::nullopt : std::optional<QString>(text);
  };
  window = std::make_unique<frmMain>(line, clock, services);
}

LiveWindow::~LiveWindow() = default;

bool LiveWindow::load() { return window->load(); }

void LiveWindow::switchAllOn() {
  for (const char *name : {"cwbFlow", "cwbPh", "cwbTherm"})
    window->findChild<widgets::TwoStateSwitch *>(QLatin1String(name))->setChecked(true);
}

bool LiveWindow::isOn(const char *switchName) const {
  return window->findChild<widgets::TwoStateSwitch *>(QLatin1String(switchName))->isChecked();
}

QStringList LiveWindow::takeMessages() {
  QStringList out;
  for (const auto &shown : messages.shown)
    out << (shown.title.isEmpty()
                ? shown.text
                : shown.text + QStringLiteral(" [") + shown.title + QLatin1Char(']'));
  messages.shown.clear();
  return out;
}

bool allFinite(const AcquisitionState &s) {
  const double values[] = {
      s.therm1Temp,  s.therm2Temp,  s.therm3Temp,   s.flowHz,       s.litersPerMin, s.totalLiters,
      s.flowHzSum,   s.compTemp,    s.ph1Value,     s.ph2Value,     s.ph1Corr,      s.ph2Corr,
      s.ph1Volts,    s.ph2Volts,    s.ph1mV,        s.ph2mV,        s.probe1Offset, s.probe2Offset,
      s.probe1Slope, s.probe2Slope, s.therm1Offset, s.therm2Offset, s.therm3Offset};
  for (double v : values)
    if (!std::isfinite(v))
      return false;
  return true;
}

QStringList nonNumbersShown(const QWidget &window) {
  QStringList out;
  for (const QLabel *label : window.findChildren<QLabel *>()) {
    const QString text = label->text();
    if (text.contains(QLatin1String("inf"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("nan"), Qt::CaseInsensitive))
      out << label->objectName() + QStringLiteral(": ") + text;
  }
  return out;
}

} // namespace faults
