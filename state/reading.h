#pragma once

#include "state/quantities.h"

#include <QDateTime>
#include <QString>

namespace state {

// One stored value, with everything its consumers need: the displays, gauges, trend, log,
// publisher and alarms take what they use from here and learn nothing again.
struct Reading {
  Quantity quantity = Quantity::Ph1mV;
  double value = 0;     // as it is stored in AcquisitionState
  double corrected = 0; // with the operator's correction or offset; the value where none applies
  QString text;          // what its display shows
  QString correctedText; // what its corrected display shows; empty where it has none
  QDateTime time;        // UTC, when the session stored it
};

} // namespace state
