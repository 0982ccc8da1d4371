#pragma once

#include <QDoubleSpinBox>

namespace widgets {

// A numeric entry. Decimals, range and step are the caller's; the defaults are 2 decimals,
// -1000 .. 1000 and a step of 0.1. valueChanged(double) comes on every change, typed, stepped or
// set by the program. The text uses the widget's locale, so the decimal separator is the regional
// one.
class NumericEntry : public QDoubleSpinBox {
  Q_OBJECT
public:
  explicit NumericEntry(QWidget *parent = nullptr);
};

} // namespace widgets
