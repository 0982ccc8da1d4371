#include "common/json_number.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace common {

bool appendJsonNumber(QByteArray &out, double value) {
  if (!std::isfinite(value))
    return false;
  char buffer[32]; // the longest shortest form of a double is 24 characters
  const auto [end, ec] = std::to_chars(std::begin(buffer), std::end(buffer), value);
  if (ec != std::errc())
    return false;
  out.append(buffer, end - buffer);
  return true;
}

} // namespace common
