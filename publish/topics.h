#pragma once

#include "state/quantities.h"

#include <array>

// The topics a publishing station sends under its prefix, named once: the publisher writes
// them and the station view reads them.
namespace publish::topics {

inline constexpr char status[] = "status";
// Retained "true" while the station's readings come from simulated modules, else "false".
inline constexpr char simulated[] = "simulated";
inline constexpr char alarmsActive[] = "alarms/active";
inline constexpr char alarmPrefix[] = "alarm/"; // followed by the alarm's key
inline constexpr char event[] = "event";        // the run's events, not retained
inline constexpr char heartbeat[] = "heartbeat"; // retained: the daily sign of life
inline constexpr char commands[] = "commands";  // retained "on" or "off": whether it takes them
inline constexpr char commandPrefix[] = "command/"; // what may be asked of the alarms

struct QuantityTopic {
  state::Quantity quantity;
  const char *topic;
  // The value with the operator's correction or offset, as the window shows it, and the name
  // Home Assistant gives it; null for a quantity without a correction.
  const char *correctedTopic;
  const char *correctedName;
};

struct ProbeTopics {
  const char *calibration;
  const char *calibrationDue;
};

// In the order of state::Quantity.
// clang-format off
inline constexpr std::array<QuantityTopic, state::quantityCount> quantityTopics{{
    {state::Quantity::Ph1mV, "ph1/mV", nullptr, nullptr},
    {state::Quantity::Ph1, "ph1/value", "ph1/corrected", "pH 1"},
    {state::Quantity::Ph2mV, "ph2/mV", nullptr, nullptr},
    {state::Quantity::Ph2, "ph2/value", "ph2/corrected", "pH 2"},
    {state::Quantity::Therm1, "therm1/celsius", "therm1/celsius_with_offset", "Temp 1"},
    {state::Quantity::Therm2, "therm2/celsius", "therm2/celsius_with_offset", "Temp 2"},
    {state::Quantity::Therm3, "therm3/celsius", "therm3/celsius_with_offset", "Temp 3"},
    {state::Quantity::FlowHz, "flow/hz", nullptr, nullptr},
    {state::Quantity::LitersPerMin, "flow/liters_per_min", nullptr, nullptr},
    {state::Quantity::TotalLiters, "flow/total_liters", nullptr, nullptr},
}};

// In the order of state::Channel: each switch's retained "on" or "off".
inline constexpr std::array<const char *, state::channelCount> switchTopics{
    "switch/ph", "switch/flow", "switch/therm"};

// Probe 1, probe 2.
inline constexpr std::array<ProbeTopics, 2> probeTopics{{
    {"ph1/calibration", "ph1/calibration_due"},
    {"ph2/calibration", "ph2/calibration_due"},
}};
// clang-format on

constexpr const QuantityTopic &of(state::Quantity quantity) {
  return quantityTopics[static_cast<int>(quantity)];
}
constexpr const char *of(state::Channel channel) { return switchTopics[static_cast<int>(channel)]; }
constexpr const ProbeTopics &ofProbe(int probe) { return probeTopics[probe == 2 ? 1 : 0]; }

// A quantity has a corrected topic exactly when the catalogue gives it a correction.
constexpr bool topicsAgreeWithCatalogue() {
  for (const state::QuantityInfo &q : state::quantities)
    if (of(q.quantity).quantity != q.quantity ||
        (of(q.quantity).correctedTopic != nullptr) != (q.correction != nullptr))
      return false;
  return true;
}
static_assert(topicsAgreeWithCatalogue(), "the topic table disagrees with the catalogue");

} // namespace publish::topics
