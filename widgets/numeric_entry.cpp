#include "widgets/numeric_entry.h"

namespace widgets {

NumericEntry::NumericEntry(QWidget *parent) : QDoubleSpinBox(parent) {
  setDecimals(2);
  setRange(-1000.0, 1000.0);
  setSingleStep(0.1);
  setValue(0.0);
  setAccelerated(true);
  setGroupSeparatorShown(false);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace widgets
