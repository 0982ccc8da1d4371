#pragma once

#include <QString>

// What a channel reader may touch on the main window, addressed by the controls' object names
// ("lblmV", "CWSlideFlow", "cwbPh" ...).
class ChannelPanel {
public:
  virtual ~ChannelPanel() = default;
  virtual void setDisplayText(const QString &label, const QString &text) = 0;
  virtual void setGaugeValue(const QString &gauge, double value) = 0;
  // Sets the switch's value to off; its change handling then stops the channel.
  virtual void turnSwitchOff(const QString &switchName) = 0;
};
