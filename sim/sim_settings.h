#pragma once

#include "sim/dgh_modules.h"

#include <QByteArray>

#include <map>
#include <optional>
#include <string>

namespace sim {

// dgh-sim's settings language: the faults and pins given as options ("--late 6=50") or as
// control lines ("late 6=50", "echo off", "clear"). Settings are kept whole and applied to the
// modules whole, so faults on one address combine.
struct Settings {
  std::map<char, ModuleFault> faults;
  std::map<char, double> pins;
  std::optional<bool> echo;
};

// Applies one fault or pin named `name` (without dashes) with its argument. Returns an empty
// text on success, else the reason.
std::string applySetting(Settings &settings, const QByteArray &name, const QByteArray &argument);

// One line of the control channel; returns an empty text on success, else the reason.
std::string applyControlLine(Settings &settings, const QByteArray &line);

// Replaces every fault and pin of the modules by those of `settings`.
void applyToModules(const Settings &settings, DghModules &modules);

} // namespace sim
