#pragma once

#include "state/acquisition_state.h"

#include <cmath>

namespace testsupport {

// True when every number AcquisitionState holds is finite: what no reply, however bad, may break.
inline bool allFinite(const AcquisitionState &s) {
  const double values[] = {
      s.therm1Temp,  s.therm2Temp,  s.therm3Temp,   s.flowHz,       s.litersPerMin, s.totalLiters,
      s.flowHzSum,   s.compTemp,    s.ph1Value,     s.ph2Value,     s.ph1Corr,      s.ph2Corr,
      s.ph1Volts,    s.ph2Volts,    s.ph1mV,        s.ph2mV,        s.probe1Offset, s.probe2Offset,
      s.probe1Slope, s.probe2Slope, s.therm1Offset, s.therm2Offset, s.therm3Offset};
  for (double v : values)
    if (!std::isfinite(v))
      return false;
  return true;
}

} // namespace testsupport
