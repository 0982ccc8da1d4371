#include "channels/readers.h"

#include "common/number_text.h"

#include <cmath>
#include <optional>

namespace tiltdgh {
namespace {

// Flow meter constant, pulses per litre.
constexpr double pulsesPerLiter = 6900;
// Frequencies above this are spikes of the meter's electronics, not flow.
constexpr double flowSpikeHz = 90000;
// Nernst factor, volts per kelvin and pH unit.
constexpr double nernstFactor = 0.000198416;

// Sends "$<address>RD" and returns the module's reply as ReadResponse gives it.
QString exchange(DghLink &link, const QString &address) {
  SendCommand(link, QLatin1Char('$') + address + QStringLiteral("RD\r"));
  return ReadResponse(link);
}

bool isGoodFrame(const QString &reply) { return reply.startsWith(QLatin1Char('*')); }

// The reading of a module reply: characters 3 to 10. The sign in character 2 is not part of it,
// so readings are magnitudes.
QString valuePart(const QString &reply) { return reply.mid(2, 8); }

QString shown(double value) { return common::generalNumber(value); }

struct Probe {
  double &mV;
  double &volts;
  double &value;
  double offset;
  double slope;
  double corr;
  int thermSelect;
  const char *mVLabel;
  const char *pHLabel;
  const char *correctedLabel;
};

double compensationTemp(const AcquisitionState &state, int thermSelect) {
  switch (thermSelect) {
  case 2:
    return state.therm2Temp;
  case 3:
    return state.therm3Temp;
  default:
    return state.therm1Temp;
  }
}

void rejectPhReply(DghLink &link, ChannelPanel &panel) {
  link.messages.showMessage(QStringLiteral("NO VALID RETURN FROM pH MODULE"));
  panel.turnSwitchOff(QStringLiteral("cwbPh"));
}

void rejectFlowReply(DghLink &link, ChannelPanel &panel) {
  link.messages.showMessage(QStringLiteral("NO VALID RETURN FROM FLOW MODULE"));
  panel.turnSwitchOff(QStringLiteral("cwbFlow"));
}

} // namespace

void ReadPhModule(DghLink &link, AcquisitionState &state, ChannelPanel &panel,
                  const QString &address) {
  const QString reply = exchange(link, address);
  if (!isGoodFrame(reply)) {
    rejectPhReply(link, panel);
    return;
  }
  const QString value = valuePart(reply);
  if (value.isEmpty())
    return;

  std::optional<Probe> probe;
  if (address == QLatin1String("6"))
    probe.emplace(Probe{state.ph1mV, state.ph1Volts, state.ph1Value, state.probe1Offset,
                        state.probe1Slope, state.ph1Corr, state.ph1ThermSelect, "lblmV", "lblpH",
                        "lblpH1WOS"});
  else if (address == QLatin1String("7"))
    probe.emplace(Probe{state.ph2mV, state.ph2Volts, state.ph2Value, state.probe2Offset,
                        state.probe2Slope, state.ph2Corr, state.ph2ThermSelect, "lblmV1", "lblpH1",
                        "lblpH2WOS"});
  else
    return;

  const std::optional<double> mV = common::parseModuleNumber(value);
  if (!mV) {
    rejectPhReply(link, panel);
    return;
  }
  const double volts = *mV / 1000;
  const double temp = compensationTemp(state, probe->thermSelect);
  const double kelvin = temp + 273.15;
  const double pH = (((volts - probe->offset) / nernstFactor) / probe->slope) / kelvin + 7;
  // A slope of 0, a temperature of absolute zero or an absurd reading give no pH at all. Such a
  // reading is refused like a reply that could not be read, before anything is stored, so the
  // record and the displays keep the last sound reading and the operator is told at once.
  if (!std::isfinite(pH)) {
    rejectPhReply(link, panel);
    return;
  }

  probe->mV = *mV;
  probe->volts = volts;
  panel.setDisplayText(QLatin1String(probe->mVLabel), shown(probe->mV));
  state.compTemp = temp;
  probe->value = common::roundHalfEven(pH, 4);
  panel.setDisplayText(QLatin1String(probe->pHLabel), shown(probe->value));
  panel.setDisplayText(QLatin1String(probe->correctedLabel), shown(probe->corr + probe->value));
}

void ReadFlowModule(DghLink &link, AcquisitionState &state, ChannelPanel &panel) {
  const QString reply = exchange(link, QStringLiteral("5"));
  if (!isGoodFrame(reply)) {
    rejectFlowReply(link, panel);
    return;
  }
  const QString value = valuePart(reply);
  if (value.isEmpty())
    return;
  std::optional<double> hz = common::parseModuleNumber(value);
  if (!hz) {
    rejectFlowReply(link, panel);
    return;
  }
  if (*hz > flowSpikeHz)
    hz = 0;
  // Only large readings are spikes: a huge negative one ("-1e308") passes the filter, and its
  // rate or the total it makes would not be a number. Such a reading is refused like a reply that
  // could not be read, before anything is stored.
  const double perMin = common::roundHalfEven(*hz * 60 / pulsesPerLiter, 2);
  const double sum = state.flowHzSum + *hz;
  const double total = common::roundHalfEven(sum / pulsesPerLiter, 2);
  if (!std::isfinite(perMin) || !std::isfinite(total)) {
    rejectFlowReply(link, panel);
    return;
  }

  state.flowHz = *hz;
  state.litersPerMin = perMin;
  state.flowHzSum = sum;
  state.totalLiters = total;

  panel.setDisplayText(QStringLiteral("lblHz"), shown(state.flowHz));
  panel.setDisplayText(QStringLiteral("lblLitersPerMin"), shown(state.litersPerMin));
  panel.setGaugeValue(QStringLiteral("CWSlideFlow"), state.litersPerMin);
  panel.setDisplayText(QStringLiteral("liters"), shown(state.totalLiters));
}

void ReadThermistors(DghLink &link, AcquisitionState &state, ChannelPanel &panel) {
  struct Thermistor {
    double &temp;
    const double &offset;
  };
  const Thermistor thermistors[3] = {{state.therm1Temp, state.therm1Offset},
                                     {state.therm2Temp, state.therm2Offset},
                                     {state.therm3Temp, state.therm3Offset}};

  for (int k = 1; k <= 3; ++k) {
    const Thermistor &therm = thermistors[k - 1];
    const QString number = QString::number(k);
    const QString reply = exchange(link, number);

    std::optional<double> reading;
    if (isGoodFrame(reply)) {
      const QString value = valuePart(reply);
      if (value.isEmpty())
        return; // the thermistors after this one wait for the next tick
      reading = common::parseModuleNumber(value);
    }
    if (!reading) {
      // Only the last thermistor's failure stops the channel; 1 and 2 just say so.
      link.messages.showMessage(QStringLiteral("No valid return from thermistor ") + number);
      if (k == 3)
        panel.turnSwitchOff(QStringLiteral("cwbTherm"));
      continue;
    }

    therm.temp = common::roundHalfEven(*reading, 2);
    panel.setDisplayText(QStringLiteral("lblTherm") + number, shown(therm.temp));
    const double withOffset = therm.offset + therm.temp;
    panel.setDisplayText(QStringLiteral("lblTherm%1WOS").arg(k), shown(withOffset));
    panel.setGaugeValue(QStringLiteral("CWSlideTherm") + number, withOffset);
  }
}

} // namespace tiltdgh
