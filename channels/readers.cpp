#include "channels/readers.h"

#include "common/number_text.h"

#include <cmath>

namespace tiltdgh {
namespace {

using state::Quantity;

// Flow meter constant, pulses per litre.
constexpr double pulsesPerLiter = 6900;
// Frequencies above this are spikes of the meter's electronics, not flow.
constexpr double flowSpikeHz = 90000;
// Nernst factor, volts per kelvin and pH unit.
constexpr double nernstFactor = 0.000198416;

bool isGoodFrame(const QString &reply) { return reply.startsWith(QLatin1Char('*')); }

// The reading of a module reply: characters 3 to 10. The sign in character 2 is not part of it,
// so readings are magnitudes.
QString valuePart(const QString &reply) { return reply.mid(2, 8); }

QString shown(double value) { return common::generalNumber(value); }

// The reading with its display texts and, where the quantity has a correction or offset, the
// corrected value as the record holds that correction now.
Reading reading(Quantity quantity, double value, const AcquisitionState &state) {
  const state::QuantityInfo &q = state::info(quantity);
  const double corrected = state::corrected(q, value, state);
  return Reading{quantity, value, corrected, shown(value),
                 q.correction ? shown(corrected) : QString(), QDateTime()};
}

ChannelRead refused(state::Channel channel) {
  ChannelRead read;
  read.message = QString::fromUtf8(state::info(channel).failureMessage);
  read.switchOff = channel;
  return read;
}

double compensationTemp(const AcquisitionState &state, int thermSelect) {
  return state.*state::info(state::thermistor(thermSelect == 2 || thermSelect == 3 ? thermSelect
                                                                                   : 1))
                    .field;
}

} // namespace

QString readCommand(const QString &address) {
  return QLatin1Char('$') + address + QStringLiteral("RD\r");
}

ChannelRead ReadPhModule(const QString &address, const QString &reply,
                         const AcquisitionState &state) {
  if (!isGoodFrame(reply))
    return refused(state::Channel::Ph);
  const QString value = valuePart(reply);
  if (value.isEmpty())
    return {};
  const state::ProbeInfo *probe = state::probeAt(address);
  if (!probe)
    return {};

  const std::optional<double> mV = common::parseModuleNumber(value);
  if (!mV)
    return refused(state::Channel::Ph);
  const double volts = *mV / 1000;
  const double temp = compensationTemp(state, state.*probe->thermSelect);
  const double offset = state.*probe->offset;
  const double slope = state.*probe->slope;
  const double pH = (((volts - offset) / nernstFactor) / slope) / (temp + 273.15) + 7;
  // A slope of 0, a temperature of absolute zero or an absurd reading give no pH at all. Such a
  // reading is refused like a reply that could not be read, before anything is stored, so the
  // record and the displays keep the last sound reading and the operator is told at once.
  if (!std::isfinite(pH))
    return refused(state::Channel::Ph);

  ChannelRead read;
  read.volts = volts;
  read.compTemp = temp;
  read.readings.append(reading(probe->mVQuantity, *mV, state));
  read.readings.append(reading(probe->pHQuantity, common::roundHalfEven(pH, 4), state));
  return read;
}

ChannelRead ReadFlowModule(const QString &reply, const AcquisitionState &state) {
  if (!isGoodFrame(reply))
    return refused(state::Channel::Flow);
  const QString value = valuePart(reply);
  if (value.isEmpty())
    return {};
  std::optional<double> hz = common::parseModuleNumber(value);
  if (!hz)
    return refused(state::Channel::Flow);
  if (*hz > flowSpikeHz)
    hz = 0;
  // Only large readings are spikes: a huge negative one ("-1e308") passes the filter, and its
  // rate or the total it makes would not be a number. Such a reading is refused like a reply that
  // could not be read, before anything is stored.
  const double perMin = common::roundHalfEven(*hz * 60 / pulsesPerLiter, 2);
  const double sum = state.flowHzSum + *hz;
  const double total = common::roundHalfEven(sum / pulsesPerLiter, 2);
  if (!std::isfinite(perMin) || !std::isfinite(total))
    return refused(state::Channel::Flow);

  ChannelRead read;
  read.flowHzSum = sum;
  read.readings.append(reading(Quantity::FlowHz, *hz, state));
  read.readings.append(reading(Quantity::LitersPerMin, perMin, state));
  read.readings.append(reading(Quantity::TotalLiters, total, state));
  return read;
}

ChannelRead ReadThermistor(int number, const QString &reply, const AcquisitionState &state) {
  std::optional<double> celsius;
  if (isGoodFrame(reply)) {
    const QString value = valuePart(reply);
    if (value.isEmpty()) {
      ChannelRead read;
      read.endsRead = true;
      return read;
    }
    celsius = common::parseModuleNumber(value);
  }
  if (!celsius) {
    ChannelRead read;
    read.message = QString::fromUtf8(state::info(state::Channel::Therm).failureMessage) +
                   QString::number(number);
    if (number == 3)
      read.switchOff = state::Channel::Therm;
    return read;
  }
  ChannelRead read;
  read.readings.append(
      tiltdgh::reading(state::thermistor(number), common::roundHalfEven(*celsius, 2), state));
  return read;
}

} // namespace tiltdgh
