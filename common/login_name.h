#pragma once

#include <QString>

namespace common {

// The name of the user running the program, as journals, notes and acknowledgements record it:
// USER, else LOGNAME (POSIX), else USERNAME (Windows); empty when none is set.
QString loginName();

} // namespace common
