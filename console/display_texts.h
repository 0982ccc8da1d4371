#pragma once

#include "console/window_controls.h"
#include "state/reading.h"

#include <QString>

#include <array>

namespace console {

// What each of the window's displays and gauges is to show, kept from the session's readings and
// switches, so that nothing reads a reading back from a label (the log takes Total Liters from
// here). Starts with each display's start text; a channel switched off blanks the displays the
// window's table blanks; the next reading writes them again.
class DisplayTexts {
public:
  DisplayTexts() {
    for (const QuantityControls &c : quantityControls)
      m_shown[static_cast<int>(c.quantity)].text = QString::fromUtf8(c.initialText);
  }

  void reading(const state::Reading &reading) {
    Shown &shown = m_shown[static_cast<int>(reading.quantity)];
    shown.text = reading.text;
    shown.correctedText = reading.correctedText;
    shown.gaugeValue = reading.corrected;
  }

  void channelSwitched(state::Channel channel, bool on) {
    if (on)
      return;
    for (const QuantityControls &c : quantityControls)
      if (state::info(c.quantity).channel == channel && c.blankedWhenOff)
        m_shown[static_cast<int>(c.quantity)].text.clear();
  }

  QString text(state::Quantity quantity) const { return of(quantity).text; }
  QString correctedText(state::Quantity quantity) const { return of(quantity).correctedText; }
  // The gauge shows the reading with its correction or offset (a thermistor's).
  double gaugeValue(state::Quantity quantity) const { return of(quantity).gaugeValue; }

private:
  struct Shown {
    QString text;
    QString correctedText;
    double gaugeValue = 0;
  };
  const Shown &of(state::Quantity quantity) const { return m_shown[static_cast<int>(quantity)]; }

  std::array<Shown, state::quantityCount> m_shown;
};

} // namespace console
