#pragma once

#include "state/quantities.h"

#include <array>
#include <cstdint>

// The main window's controls for each quantity and channel: the one place that names them. The
// catalogue in state/ describes what is measured; this table says how the window shows it.
namespace console {

struct QuantityControls {
  state::Quantity quantity;
  // The display that shows the stored value, and its caption.
  const char *display;
  const char *caption;
  // The display showing the value with the operator's correction or offset, or null.
  const char *correctedDisplay;
  const char *correctedCaption;
  // The slide gauge showing the reading (with the offset, for a thermistor), or null.
  const char *gauge;
  const char *initialText; // what the displays show before the first reading
  std::uint32_t displayRgb;
  // Switching the channel off blanks the display (the gauge, if any, always rests at 0).
  bool blankedWhenOff;
};

struct ChannelControls {
  state::Channel channel;
  const char *switchName;
};

// In the order of state::Quantity.
// clang-format off
inline constexpr std::array<QuantityControls, state::quantityCount> quantityControls{{
    {state::Quantity::Ph1mV, "lblmV", "mV1", nullptr, nullptr, nullptr, "0000.00", state::green,
     true},
    {state::Quantity::Ph1, "lblpH", "pH1 (raw)", "lblpH1WOS", "pH1 (w/corr.)", nullptr, "000",
     state::green, true},
    {state::Quantity::Ph2mV, "lblmV1", "mV2", nullptr, nullptr, nullptr, "0000.00", state::red,
     false},
    {state::Quantity::Ph2, "lblpH1", "pH2 (raw)", "lblpH2WOS", "pH2 (w/corr.)", nullptr, "000",
     state::red, false},
    {state::Quantity::Therm1, "lblTherm1", "Therm. 1 (raw)", "lblTherm1WOS", "Temp 1",
     "CWSlideTherm1", "000", state::green, true},
    {state::Quantity::Therm2, "lblTherm2", "Therm. 2 (raw)", "lblTherm2WOS", "Temp 2",
     "CWSlideTherm2", "000", state::green, true},
    {state::Quantity::Therm3, "lblTherm3", "Therm. 3 (raw)", "lblTherm3WOS", "Temp 3",
     "CWSlideTherm3", "000", state::green, true},
    {state::Quantity::FlowHz, "lblHz", "Frequency", nullptr, nullptr, nullptr, "000", state::green,
     true},
    {state::Quantity::LitersPerMin, "lblLitersPerMin", "Liters / min", nullptr, nullptr,
     "CWSlideFlow", "000", state::green, true},
    {state::Quantity::TotalLiters, "liters", "Total Liters", nullptr, nullptr, nullptr, "000",
     state::green, true},
}};

// In the order of state::Channel.
inline constexpr std::array<ChannelControls, state::channelCount> channelControls{{
    {state::Channel::Ph, "cwbPh"},
    {state::Channel::Flow, "cwbFlow"},
    {state::Channel::Therm, "cwbTherm"},
}};
// clang-format on

constexpr const QuantityControls &controls(state::Quantity quantity) {
  return quantityControls[static_cast<int>(quantity)];
}
constexpr const ChannelControls &controls(state::Channel channel) {
  return channelControls[static_cast<int>(channel)];
}

// A quantity has a corrected display exactly when the catalogue gives it a correction, and the
// table lists everything in the catalogue's order.
constexpr bool controlsAgreeWithCatalogue() {
  for (const state::QuantityInfo &q : state::quantities) {
    const QuantityControls &c = controls(q.quantity);
    if (c.quantity != q.quantity || (c.correctedDisplay != nullptr) != (q.correction != nullptr))
      return false;
  }
  for (const state::ChannelInfo &channel : state::channels)
    if (controls(channel.channel).channel != channel.channel)
      return false;
  return true;
}
static_assert(controlsAgreeWithCatalogue(), "the window's table disagrees with the catalogue");

} // namespace console
