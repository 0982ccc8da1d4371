#include "tests/faults/live_window.h"

#include "widgets/two_state_switch.h"

#include <QLabel>

namespace faults {

namespace {

tiltdgh::PortDevices portsAt(const QString &device, const QMap<int, QString> &others) {
  tiltdgh::PortDevices devices;
  devices.map(1, device);
  for (auto it = others.begin(); it != others.end(); ++it)
    devices.map(it.key(), it.value());
  return devices;
}

} // namespace

LiveWindow::LiveWindow(const QString &device, const QMap<int, QString> &others,
                       std::optional<console::RunOptions> run)
    : line(portsAt(device, others)) {
  FrmMainServices services;
  services.run = std::move(run);
  services.messages = &messages;
  services.askText = [this](const QString &, const QString &) -> std::optional<QString> {
    if (answers.empty())
      return std::nullopt;
    const bool cancel = !answers.front().has_value();
    const QString text = answers.front().value_or(QString());
    answers.pop_front();
    return cancel ? std::nullopt : std::optional<QString>(text);
  };
  window = std::make_unique<frmMain>(counted, clock, services);
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
