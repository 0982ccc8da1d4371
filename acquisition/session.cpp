#include "acquisition/session.h"

namespace acquisition {

using state::Quantity;

Session::Session(tiltdgh::DghLink &link, AcquisitionState &state, QObject *parent)
    : QObject(parent), m_link(link), m_state(state) {
  for (const state::QuantityInfo &q : state::quantities)
    m_last[static_cast<int>(q.quantity)].quantity = q.quantity;
}

void Session::readCycle() {
  if (m_state.flowReadEnabled)
    readFlowModule();
  if (m_state.phReadEnabled) {
    readPhModule(QStringLiteral("6"));
    readPhModule(QStringLiteral("7"));
  }
  if (m_state.thermReadEnabled)
    readThermistors();
}

QString Session::exchange(const QString &address) {
  tiltdgh::SendCommand(m_link, tiltdgh::readCommand(address));
  return tiltdgh::ReadResponse(m_link);
}

void Session::readPhModule(const QString &address) {
  const tiltdgh::ChannelRead read = tiltdgh::ReadPhModule(address, exchange(address), m_state);
  if (read.readings.size() == 2) {
    const tiltdgh::Reading &mV = read.readings[0];
    const tiltdgh::Reading &pH = read.readings[1];
    const QDateTime time = QDateTime::currentDateTimeUtc();
    m_state.*state::info(mV.quantity).field = mV.value;
    m_state.*state::probeAt(address)->volts = read.volts;
    stored(mV, time);
    m_state.compTemp = read.compTemp;
    m_state.*state::info(pH.quantity).field = pH.value;
    stored(pH, time);
  }
  conclude(read);
}

void Session::readFlowModule() {
  const tiltdgh::ChannelRead read = tiltdgh::ReadFlowModule(exchange(QStringLiteral("5")), m_state);
  if (read.readings.size() == 3) {
    const QDateTime time = QDateTime::currentDateTimeUtc();
    m_state.flowHz = read.readings[0].value;
    m_state.litersPerMin = read.readings[1].value;
    m_state.flowHzSum = read.flowHzSum;
    m_state.totalLiters = read.readings[2].value;
    for (const tiltdgh::Reading &reading : read.readings)
      stored(reading, time);
  }
  conclude(read);
}

void Session::readThermistors() {
  for (int k = 1; k <= 3; ++k) {
    const tiltdgh::ChannelRead read =
        tiltdgh::ReadThermistor(k, exchange(QString::number(k)), m_state);
    if (read.endsRead)
      return;
    for (const tiltdgh::Reading &reading : read.readings) {
      m_state.*state::info(reading.quantity).field = reading.value;
      stored(reading, QDateTime::currentDateTimeUtc());
    }
    conclude(read);
  }
}

void Session::stored(state::Reading reading, const QDateTime &time) {
  reading.time = time;
  state::Reading &last = m_last[static_cast<int>(reading.quantity)];
  last = std::move(reading);
  emit readingStored(last);
}

void Session::conclude(const tiltdgh::ChannelRead &read) {
  if (!read.message.isEmpty())
    m_link.messages.showMessage(read.message);
  if (read.switchOff)
    emit channelFailed(*read.switchOff);
}

void Session::switchChannel(state::Channel channel, bool on) {
  m_state.*state::info(channel).enabled = on;
  emit channelSwitched(channel, on);
}

} // namespace acquisition
