#include "runs/clock_watch.h"

#include <sys/timex.h>

namespace runs {

bool systemClockUnsynchronised() {
  struct timex state {};
  state.modes = 0; // read only
  const int result = ::adjtimex(&state);
  if (result == -1)
    return false;
  return result == TIME_ERROR || (state.status & STA_UNSYNC) != 0;
}

} // namespace runs
