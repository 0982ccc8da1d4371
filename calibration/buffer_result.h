#pragma once

#include "calibration/calibration_record.h"

#include <QString>

#include <vector>

namespace calibration {

// What the buffer assistant hands the calibration dialog on "Apply": the texts for its boxes and
// what the history keeps about where they came from.
struct BufferResult {
  QString offset; // volts, as the boxes take it
  QString slope;
  std::vector<MeasuredBuffer> buffers;
  double worstResidualPh = 0;
  QString temperatureSource;
  QString overridden; // the limits the operator chose to pass, empty when none
};

// What the assistant keeps for the rest of the run: the last buffer set and temperature source
// chosen (indexes into its lists), -1 before any choice.
struct AssistantMemory {
  int bufferSet = -1;
  int temperatureSource = -1;
};

} // namespace calibration
