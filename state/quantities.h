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
  const char *unit;
  int decimals; // places the stored value carries
  std::uint32_t traceRgb; // its colour on every chart
  Channel channel;
  double AcquisitionState::*field;
  // The operator's correction or offset added where the reading is shown, published and
  // watched by the alarms; null for a quantity that has none.
  double AcquisitionState::*correction;
};

struct ChannelInfo {
  Channel channel;
  const char *key; // "ph", "flow", "therm"
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
    {Quantity::Ph1mV, "ph1_mV", "pH 1 mV", "mV", 2, green, Channel::Ph,
     &AcquisitionState::ph1mV, nullptr},
    {Quantity::Ph1, "ph1", "pH 1", "pH", 4, green, Channel::Ph,
     &AcquisitionState::ph1Value, &AcquisitionState::ph1Corr},
    {Quantity::Ph2mV, "ph2_mV", "pH 2 mV", "mV", 2, red, Channel::Ph,
     &AcquisitionState::ph2mV, nullptr},
    {Quantity::Ph2, "ph2", "pH 2", "pH", 4, red, Channel::Ph,
     &AcquisitionState::ph2Value, &AcquisitionState::ph2Corr},
    {Quantity::Therm1, "therm1", "Thermistor 1", "°C", 2, 0x005AC8, Channel::Therm,
     &AcquisitionState::therm1Temp, &AcquisitionState::therm1Offset},
    {Quantity::Therm2, "therm2", "Thermistor 2", "°C", 2, 0x00AAC8, Channel::Therm,
     &AcquisitionState::therm2Temp, &AcquisitionState::therm2Offset},
    {Quantity::Therm3, "therm3", "Thermistor 3", "°C", 2, 0x783CC8, Channel::Therm,
     &AcquisitionState::therm3Temp, &AcquisitionState::therm3Offset},
    {Quantity::FlowHz, "flow_Hz", "Flow frequency", "Hz", 2, 0x966400, Channel::Flow,
     &AcquisitionState::flowHz, nullptr},
    {Quantity::LitersPerMin, "flow_L_per_min", "Flow", "L/min", 2, 0xC87800, Channel::Flow,
     &AcquisitionState::litersPerMin, nullptr},
    {Quantity::TotalLiters, "total_L", "Total liters", "L", 2, 0x6E6E6E, Channel::Flow,
     &AcquisitionState::totalLiters, nullptr},
}};

// In the order of Channel.
inline constexpr std::array<ChannelInfo, channelCount> channels{{
    {Channel::Ph, "ph", "NO VALID RETURN FROM pH MODULE", &AcquisitionState::phReadEnabled},
    {Channel::Flow, "flow", "NO VALID RETURN FROM FLOW MODULE", &AcquisitionState::flowReadEnabled},
    {Channel::Therm, "therm", "No valid return from thermistor ", &AcquisitionState::thermReadEnabled},
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

// The value as it is shown: with the operator's correction or offset that belongs to the quantity,
// as the record holds it now. The one place where a correction is applied.
constexpr double corrected(const QuantityInfo &q, double value, const AcquisitionState &state) {
  return q.correction ? value + state.*q.correction : value;
}

// What each probe is made of in the record: its module, readings, coefficients and choices.
struct ProbeInfo {
  int number;          // 1 or 2
  const char *address; // its pH module's address
  Quantity mVQuantity;
  Quantity pHQuantity;
  double AcquisitionState::*mV;
  double AcquisitionState::*volts;
  double AcquisitionState::*value;
  double AcquisitionState::*correction;
  double AcquisitionState::*offset;
  double AcquisitionState::*slope;
  QString AcquisitionState::*serial;
  QDate AcquisitionState::*calDate;
  int AcquisitionState::*thermSelect; // the thermistor that compensates it
  bool AcquisitionState::*plotted;    // its trace of the trend
};

// clang-format off
inline constexpr std::array<ProbeInfo, 2> probes{{
    {1, "6", Quantity::Ph1mV, Quantity::Ph1, &AcquisitionState::ph1mV, &AcquisitionState::ph1Volts,
     &AcquisitionState::ph1Value, &AcquisitionState::ph1Corr, &AcquisitionState::probe1Offset,
     &AcquisitionState::probe1Slope, &AcquisitionState::probe1Serial,
     &AcquisitionState::probe1CalDate, &AcquisitionState::ph1ThermSelect,
     &AcquisitionState::plotPh1},
    {2, "7", Quantity::Ph2mV, Quantity::Ph2, &AcquisitionState::ph2mV, &AcquisitionState::ph2Volts,
     &AcquisitionState::ph2Value, &AcquisitionState::ph2Corr, &AcquisitionState::probe2Offset,
     &AcquisitionState::probe2Slope, &AcquisitionState::probe2Serial,
     &AcquisitionState::probe2CalDate, &AcquisitionState::ph2ThermSelect,
     &AcquisitionState::plotPh2},
}};
// clang-format on

// Probe 1 or 2; any other number is probe 1's, as a compensation choice out of range is.
constexpr const ProbeInfo &probe(int number) { return probes[number == 2 ? 1 : 0]; }

// The probe whose pH module answers at `address`, or null.
inline const ProbeInfo *probeAt(const QString &address) {
  for (const ProbeInfo &p : probes)
    if (address == QLatin1String(p.address))
      return &p;
  return nullptr;
}

constexpr bool probesAgreeWithCatalogue() {
  for (const ProbeInfo &p : probes)
    if (info(p.mVQuantity).field != p.mV || info(p.pHQuantity).field != p.value ||
        info(p.pHQuantity).correction != p.correction)
      return false;
  return true;
}
static_assert(probesAgreeWithCatalogue(), "a probe's fields disagree with the catalogue");

} // namespace state
