#pragma once

#include <QLocale>
#include <QString>

namespace calibration {

// Fixed decimals in the regional form, without digit grouping, as the main window's displays.
inline QString fixedText(double value, int places) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'f', places);
}

} // namespace calibration
