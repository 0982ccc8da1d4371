#pragma once

#include "calibration/calibration_history.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QTableWidget;

// "Calibration History": the records of the calibration history, newest first, for one probe or
// both; a line saying whether the history is intact or where it was altered; and "Export CSV…"
// for the listed records. Reads the file when opened and on "Refresh"; writes nothing but the
// export. Modeless; deletes itself when closed.
//
// Object names: "cmbHistoryProbe", "lblHistoryCheck", "tblHistory", "cmdHistoryRefresh",
// "cmdHistoryExport".
class frmCalHistory : public QDialog {
  Q_OBJECT
public:
  explicit frmCalHistory(QWidget *parent = nullptr);

  // Writes the listed records to `path` as CSV; the reason it failed, or an empty text.
  QString exportCsv(const QString &path) const;

  void refresh();

private:
  void fill();
  void exportChosen();

  calibration::HistoryReport m_report;
  std::vector<calibration::NumberedRecord> m_listed;
  QComboBox *m_cmbProbe = nullptr;
  QLabel *m_lblCheck = nullptr;
  QTableWidget *m_table = nullptr;
};
