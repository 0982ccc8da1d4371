#pragma once

#include <QByteArray>

namespace common {

// Appends the shortest text that reads back as the same double, with "." as the decimal point and
// an exponent where that is shorter ("7.1", "-0.25", "1e+21"): a valid JSON number and a bare
// number of a table alike. A value that is not finite appends nothing and returns false, since
// JSON has no NaN or infinity; the caller says what stands in its place.
bool appendJsonNumber(QByteArray &out, double value);

} // namespace common
