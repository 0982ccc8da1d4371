#pragma once

#include "channels/readers.h"
#include "instrument/dgh_exchange.h"
#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>

namespace acquisition {

// Runs the read cycle: asks each module whose channel is on for its reading, stores what the
// channel readers make of the replies in AcquisitionState, and tells every subscriber. It keeps
// what each display is to show, so that nothing needs to read a reading back from the window.
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

  // The text of the quantity's display: its start text until the first reading, empty once its
  // channel has been switched off.
  QString displayText(state::Quantity quantity) const { return shown(quantity).text; }
  // The text of its adjusted display (with correction or offset), and its gauge's value.
  QString adjustedText(state::Quantity quantity) const { return shown(quantity).adjustedText; }
  double gaugeValue(state::Quantity quantity) const { return shown(quantity).gaugeValue; }

  // The channel's switch changed: sets its flag in the record and, when off, blanks the
  // displays that switching off blanks.
  void channelSwitched(state::Channel channel, bool on);

signals:
  // A reading has been stored; `time` is UTC.
  void readingStored(state::Quantity quantity, double value, QDateTime time);
  // A failure asks for the channel to be switched off, after its message was closed.
  void channelFailed(state::Channel channel);

private:
  struct Shown {
    QString text;
    QString adjustedText;
    double gaugeValue = 0;
  };
  const Shown &shown(state::Quantity quantity) const { return m_shown[static_cast<int>(quantity)]; }
  QString exchange(const QString &address);
  void stored(const tiltdgh::Reading &reading, const QDateTime &time);
  void conclude(const tiltdgh::ChannelRead &read);

  tiltdgh::DghLink &m_link;
  AcquisitionState &m_state;
  std::array<Shown, state::quantityCount> m_shown;
};

} // namespace acquisition
