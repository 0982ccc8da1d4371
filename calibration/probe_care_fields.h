#pragma once

#include "calibration/probe_care.h"
#include "state/operator_messages.h"

#include <QObject>

class QGridLayout;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

namespace calibration {

// The calibration dialog's care of one probe, beside its coefficients: "txtDueDays" (the probe's
// calibration interval) and "tblCareLimits" (the limits its condition is judged by: rows slope
// against the default gain and against the previous slope, in percentage points, and the offset's
// change in mV; columns warn and refuse). An edit is stored as soon as it is finished; text that
// is not a number, or a warning limit above its refusal limit, is refused with a message naming
// the field, and the field shows the value kept.
class ProbeCareFields : public QObject {
  Q_OBJECT
public:
  static constexpr int limitFieldCount = 6;

  // Puts the fields in column 2 of `grid`: the limits in rows 0 to 3, the interval in rows 4 and
  // 5, each row `rowHeight` tall. `dialog` gives the font the table is sized by.
  ProbeCareFields(QGridLayout *grid, int rowHeight, QWidget *dialog,
                  tiltdgh::OperatorMessages &messages);

  // Reads probe 1's or 2's interval and limits from the store and shows them.
  void showProbe(int probe);
  const ProbeCare &care() const { return m_care; }

signals:
  // A limit was changed (and stored, or said not to be).
  void limitsChanged();

private:
  void addLimitTable(QGridLayout *grid, int rowHeight, QWidget *dialog);
  void applyDueDaysText();
  // `index`: the limit's cell, row by row (warn, refuse).
  void applyLimitText(int index);
  QTableWidgetItem *limitItem(int index) const;
  // Stores the interval and limits; says so when it cannot, naming `what` was changed.
  void save(const QString &what);

  tiltdgh::OperatorMessages &m_messages;
  QLineEdit *m_txtDueDays = nullptr;
  QTableWidget *m_tblLimits = nullptr;
  int m_probe = 1;
  ProbeCare m_care;
};

} // namespace calibration
