#include "sim/sim_settings.h"

#include <QList>

#include <cmath>

namespace sim {

namespace {

bool isModuleAddress(const QByteArray &text) {
  return text.size() == 1 && QByteArray("123567").contains(text.at(0));
}

} // namespace

std::string applySetting(Settings &settings, const QByteArray &name, const QByteArray &argument) {
  const bool takesValue =
      name == "late" || name == "garbage-before" || name == "garbage-after" || name == "pin";
  const bool takesAddress = takesValue || name == "silent" || name == "error-reply" ||
                            name == "line-feed" || name == "high-bit";
  if (!takesAddress)
    return "unknown setting \"" + name.toStdString() + "\"";

  QByteArray address = argument;
  QByteArray value;
  if (takesValue) {
    const qsizetype equals = argument.indexOf('=');
    if (equals < 0)
      return name.toStdString() + " needs ADDR=VALUE";
    address = argument.left(equals);
    value = argument.mid(equals + 1);
  }
  if (!isModuleAddress(address))
    return "\"" + address.toStdString() + "\" is not a module address (1, 2, 3, 5, 6, 7)";
  const char a = address.at(0);
  ModuleFault &fault = settings.faults[a];

  if (name == "silent") {
    fault.silent = true;
  } else if (name == "error-reply") {
    fault.errorReply = true;
  } else if (name == "line-feed") {
    fault.lineFeedAfter = true;
  } else if (name == "high-bit") {
    fault.highBit = true;
  } else if (name == "garbage-before") {
    fault.garbageBefore = value;
  } else if (name == "garbage-after") {
    fault.garbageAfter = value;
  } else if (name == "late") {
    bool ok = false;
    const uint ms = value.toUInt(&ok);
    // Far beyond any wait; keeps the arrival times well inside the modules' clock range.
    if (!ok || ms > 600000)
      return "late needs a number of milliseconds from 0 to 600000";
    fault.lateMs = ms;
  } else if (name == "pin") {
    bool ok = false;
    const double reading = value.toDouble(&ok);
    if (!ok || !std::isfinite(reading))
      return "pin needs a number";
    settings.pins[a] = reading;
  }
  return std::string();
}

void applyToModules(const Settings &settings, DghModules &modules) {
  modules.clearFaults();
  for (const auto &[address, fault] : settings.faults)
    modules.setFault(address, fault);
  for (const char address : QByteArray("123567"))
    modules.pinReading(address, std::nullopt);
  for (const auto &[address, value] : settings.pins)
    modules.pinReading(address, value);
  if (settings.echo)
    modules.setEcho(*settings.echo);
}

std::string applyControlLine(Settings &settings, const QByteArray &line) {
  const QList<QByteArray> words = line.simplified().split(' ');
  if (words.size() == 1 && words.at(0) == "clear") {
    settings.faults.clear();
    settings.pins.clear();
    return std::string();
  }
  if (words.size() != 2)
    return "expected a setting and its argument";
  if (words.at(0) == "echo") {
    if (words.at(1) != "on" && words.at(1) != "off")
      return "echo needs on or off";
    settings.echo = words.at(1) == "on";
    return std::string();
  }
  return applySetting(settings, words.at(0), words.at(1));
}

} // namespace sim
