#pragma once

#include "state/acquisition_state.h"

#include <array>
#include <cstdint>

// What the program measures, described once. Every table of displays, gauges, units, topics,
// trace colours, log and export columns derives from these two catalogues. Plain data: the floor
// links Qt Core only, so colours are 0xRRGGBB numbers and texts are UTF-8 literals.
namespace state {

// The three channels, each with its switch on the main window.
enum class Channel { Ph, Flow, Therm };
inline constexpr int channelCount = 3;

// The ten readings, in the order the catalogue lists them.
enum class Quantity {
  Ph1mV,
  Ph1,
  Ph2mV,
  Ph2,
  Therm1,
  Therm2,
  Therm3,
  FlowHz,
  LitersPerMin,
  TotalLiters,
};
inline constexpr int quantityCount = 10;

struct QuantityInfo {
  Quantity quantity;
  const char *key;  // short and stable: files, topics and journals name the reading by it
  const char *name; // what a person reads ("pH 1")
  // The display that shows the stored value, and its caption on the main window.
  const char *display;
  const char *displayCaption;
  // The display showing the value with the operator's correction or offset added, or null.
  const char *adjustedDisplay;
  const char *adjustedCaption;
  // The slide gauge showing the reading (with the offset, for a thermistor), or null.
  const char *gauge;
  const char *initialText; // what the display shows before the first reading
  const char *unit;
  int decimals; // places the stored value carries
  std::uint32_t displayRgb;
  std::uint32_t traceRgb;
  int logColumn;        // position in a log record, 0 being the first after Time
  const char *logTitle; // its title in the log's column line
  const char *exportColumn;
  const char *topic; // under the broker's topic prefix
  Channel channel;
  // Switching the channel off blanks the display (the gauge, if any, always rests at 0).
  bool blankedWhenOff;
  double AcquisitionState::*field;
};

struct ChannelInfo {
  Channel channel;
  const char *key;        // "ph", "flow", "therm"
  const char *switchName; // the channel's switch on the main window
  const char *topic;      // the switch's retained topic
  // The message shown when a module's reply cannot be used. The thermistors' one is followed by
  // the thermistor's number.
  const char *failureMessage;
  bool AcquisitionState::*enabled;
};

// Probe 1's readings, the flow and the thermistors are shown in green, probe 2's in red; the pH
// traces of the trend keep those colours.
inline constexpr std::uint32_t green = 0x00FF00;
inline constexpr std::uint32_t red = 0xFF0000;

// In the order of Quantity.
// clang-format off
inline constexpr std::array<QuantityInfo, quantityCount> quantities{{
    {Quantity::Ph1mV, "ph1_mV", "pH 1 mV", "lblmV", "mV1", nullptr, nullptr, nullptr, "0000.00",
     "mV", 2, green, green, 3, "pH-1 mV", "ph1_mV", "ph1/mV", Channel::Ph, true,
     &AcquisitionState::ph1mV},
    {Quantity::Ph1, "ph1", "pH 1", "lblpH", "pH1 (raw)", "lblpH1WOS", "pH1 (w/corr.)", nullptr,
     "000", "pH", 4, green, green, 5, "pH-1 value", "ph1", "ph1/value", Channel::Ph, true,
     &AcquisitionState::ph1Value},
    {Quantity::Ph2mV, "ph2_mV", "pH 2 mV", "lblmV1", "mV2", nullptr, nullptr, nullptr, "0000.00",
     "mV", 2, red, red, 4, "pH-2 mV", "ph2_mV", "ph2/mV", Channel::Ph, false,
     &AcquisitionState::ph2mV},
    {Quantity::Ph2, "ph2", "pH 2", "lblpH1", "pH2 (raw)", "lblpH2WOS", "pH2 (w/corr.)", nullptr,
     "000", "pH", 4, red, red, 6, "pH-2 value", "ph2", "ph2/value", Channel::Ph, false,
     &AcquisitionState::ph2Value},
    {Quantity::Therm1, "therm1", "Thermistor 1", "lblTherm1", "Therm. 1 (raw)", "lblTherm1WOS",
     "Temp 1", "CWSlideTherm1", "000", "°C", 2, green, 0x005AC8, 0, "Therm1", "therm1_C",
     "therm1/celsius", Channel::Therm, true, &AcquisitionState::therm1Temp},
    {Quantity::Therm2, "therm2", "Thermistor 2", "lblTherm2", "Therm. 2 (raw)", "lblTherm2WOS",
     "Temp 2", "CWSlideTherm2", "000", "°C", 2, green, 0x00AAC8, 1, "Therm2", "therm2_C",
     "therm2/celsius", Channel::Therm, true, &AcquisitionState::therm2Temp},
    {Quantity::Therm3, "therm3", "Thermistor 3", "lblTherm3", "Therm. 3 (raw)", "lblTherm3WOS",
     "Temp 3", "CWSlideTherm3", "000", "°C", 2, green, 0x783CC8, 2, "Therm3", "therm3_C",
     "therm3/celsius", Channel::Therm, true, &AcquisitionState::therm3Temp},
    {Quantity::FlowHz, "flow_Hz", "Flow frequency", "lblHz", "Frequency", nullptr, nullptr,
     nullptr, "000", "Hz", 2, green, 0x966400, 7, "Flow frequency", "flow_Hz", "flow/hz",
     Channel::Flow, true, &AcquisitionState::flowHz},
    {Quantity::LitersPerMin, "flow_L_per_min", "Flow", "lblLitersPerMin", "Liters / min",
     nullptr, nullptr, "CWSlideFlow", "000", "L/min", 2, green, 0xC87800, 8, "liters/min",
     "flow_L_per_min", "flow/liters_per_min", Channel::Flow, true,
     &AcquisitionState::litersPerMin},
    {Quantity::TotalLiters, "total_L", "Total liters", "liters", "Total Liters", nullptr, nullptr,
     nullptr, "000", "L", 2, green, 0x6E6E6E, 9, "Total Liters", "total_L", "flow/total_liters",
     Channel::Flow, true, &AcquisitionState::totalLiters},
}};

// In the order of Channel.
inline constexpr std::array<ChannelInfo, channelCount> channels{{
    {Channel::Ph, "ph", "cwbPh", "switch/ph", "NO VALID RETURN FROM pH MODULE",
     &AcquisitionState::phReadEnabled},
    {Channel::Flow, "flow", "cwbFlow", "switch/flow", "NO VALID RETURN FROM FLOW MODULE",
     &AcquisitionState::flowReadEnabled},
    {Channel::Therm, "therm", "cwbTherm", "switch/therm", "No valid return from thermistor ",
     &AcquisitionState::thermReadEnabled},
}};
// clang-format on

constexpr const QuantityInfo &info(Quantity quantity) {
  return quantities[static_cast<int>(quantity)];
}
constexpr const ChannelInfo &info(Channel channel) { return channels[static_cast<int>(channel)]; }

// The thermistor quantity 1, 2 or 3.
constexpr Quantity thermistor(int number) {
  return static_cast<Quantity>(static_cast<int>(Quantity::Therm1) + number - 1);
}

} // namespace state
