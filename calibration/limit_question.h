#pragma once

#include <QMessageBox>
#include <QString>

namespace calibration {

// Asks the operator whether to pass the probe's refusal limits, `reasons` as Condition gives
// them: "<subject> beyond the probe's limits: <reasons>.\n\n<proceed> anyway? The calibration
// history will record that you did." True only when the operator chose `action`; Cancel is the
// default, so Enter passes no limit. Returns after the box has closed.
bool confirmPassingLimits(QWidget *parent, const QString &subject, const QString &reasons,
                          const QString &proceed, QMessageBox::StandardButton action);

} // namespace calibration
