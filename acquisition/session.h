#pragma once

#include "channels/readers.h"
#include "instrument/dgh_exchange.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"
#include "state/reading.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>

namespace acquisition {

// Runs the read cycle: asks each module whose channel is on for its reading, stores what the
// channel readers make of the replies in AcquisitionState, and tells every subscriber: one
// Reading per stored value, and every change of a channel's switch.
// Everything happens on the user-interface thread; a reader's message box is shown through the
// link's OperatorMessages, and returns before the session goes on.
class Session : public QObject {
  Q_OBJECT
public:
  Session(tiltdgh::DghLink &link, AcquisitionState &state, QObject *parent = nullptr);

  // The exchanges of one read tick: flow, pH modules 6 and 7, thermistors 1 to 3, each group
  // while its switch is on. Module 7 is read even when module 6 has just switched pH off.
  void readCycle();
  void readPhModule(const QString &address);
  void readFlowModule();
  void readThermistors();

  // The last reading stored of `quantity`, whatever its channel does since; a default Reading
  // (no time) before the first one.
  const state::Reading &lastReading(state::Quantity quantity) const {
    return m_last[static_cast<int>(quantity)];
  }

  // A channel's switch changed, whoever changed it (the operator, the program, a failure): sets
  // its flag in the record and tells every subscriber.
  void switchChannel(state::Channel channel, bool on);

signals:
  // A reading has been stored, with its time (UTC).
  void readingStored(const state::Reading &reading);
  // A channel's switch changed; its flag in the record already says so.
  void channelSwitched(state::Channel channel, bool on);
  // A failure asks for the channel to be switched off, after its message was closed.
  void channelFailed(state::Channel channel);

private:
  QString exchange(const QString &address);
  void stored(state::Reading reading, const QDateTime &time);
  void conclude(const tiltdgh::ChannelRead &read);

  tiltdgh::DghLink &m_link;
  AcquisitionState &m_state;
  std::array<state::Reading, state::quantityCount> m_last;
};

} // namespace acquisition
