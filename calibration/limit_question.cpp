#include "calibration/limit_question.h"

namespace calibration {

bool confirmPassingLimits(QWidget *parent, const QString &subject, const QString &reasons,
                          const QString &proceed, QMessageBox::StandardButton action) {
  const QString title = parent ? parent->window()->windowTitle() : QString();
  const auto answer = QMessageBox::question(
      parent, title,
      QStringLiteral("%1 beyond the probe's limits: %2.\n\n%3 anyway? The calibration history "
                     "will record that you did.")
          .arg(subject, reasons, proceed),
      action | QMessageBox::Cancel, QMessageBox::Cancel);
  return answer == action;
}

} // namespace calibration
