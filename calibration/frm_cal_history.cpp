#include "calibration/frm_cal_history.h"

#include "common/own_file.h"
#include "calibration/history_table.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

frmCalHistory::frmCalHistory(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmCalHistory"));
  setWindowTitle(QStringLiteral("Calibration History"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto *probeLabel = new QLabel(QStringLiteral("Probe:"));
  m_cmbProbe = new QComboBox;
  m_cmbProbe->setObjectName(QStringLiteral("cmbHistoryProbe"));
  m_cmbProbe->addItems(
      {QStringLiteral("Both"), QStringLiteral("Probe 1"), QStringLiteral("Probe 2")});
  probeLabel->setBuddy(m_cmbProbe);
  auto *refreshButton = new QPushButton(QStringLiteral("Refresh"));
  refreshButton->setObjectName(QStringLiteral("cmdHistoryRefresh"));
  refreshButton->setAutoDefault(false);
  auto *exportButton = new QPushButton(QStringLiteral("Export CSV…"));
  exportButton->setObjectName(QStringLiteral("cmdHistoryExport"));
  exportButton->setAutoDefault(false);
  auto *top = new QHBoxLayout;
  top->addWidget(probeLabel);
  top->addWidget(m_cmbProbe);
  top->addStretch(1);
  top->addWidget(refreshButton);
  top->addWidget(exportButton);

  m_lblCheck = new QLabel;
  m_lblCheck->setObjectName(QStringLiteral("lblHistoryCheck"));
  m_lblCheck->setWordWrap(true);
  m_lblCheck->setTextInteractionFlags(Qt::TextSelectableByMouse);

  m_table = new QTableWidget;
  m_table->setObjectName(QStringLiteral("tblHistory"));
  m_table->setAccessibleName(QStringLiteral("Calibration records"));
  m_table->setColumnCount(int(calibration::historyColumns().size()));
  m_table->setHorizontalHeaderLabels(calibration::historyColumns());
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setStretchLastSection(true);

  auto *layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_lblCheck);
  layout->addWidget(m_table, 1);
  resize(1000, 420);

  connect(m_cmbProbe, &QComboBox::currentIndexChanged, this, &frmCalHistory::fill);
  connect(refreshButton, &QPushButton::clicked, this, &frmCalHistory::refresh);
  connect(exportButton, &QPushButton::clicked, this, &frmCalHistory::exportChosen);
  refresh();
}

void frmCalHistory::refresh() {
  const QString path = calibration::historyFilePath();
  m_report = calibration::readHistory(path);
  QStringList lines{m_report.summary()};
  // Every problem after the first, so that the operator sees all the damage and where it is.
  for (std::size_t i = 1; i < m_report.problems.size(); ++i)
    lines << QStringLiteral("also at record %1: %2")
                 .arg(m_report.problems[i].record)
                 .arg(m_report.problems[i].what);
  lines << QStringLiteral("File: %1").arg(path);
  m_lblCheck->setText(lines.join(QLatin1Char('\n')));
  m_lblCheck->setStyleSheet(m_report.intact()
                                ? QStringLiteral("color: #006400;")
                                : QStringLiteral("color: #b00000; font-weight: bold;"));
  fill();
}

void frmCalHistory::fill() {
  m_listed = calibration::recordsNewestFirst(m_report, m_cmbProbe->currentIndex());
  m_table->setRowCount(int(m_listed.size()));
  for (int row = 0; row < int(m_listed.size()); ++row) {
    const QStringList cells = calibration::historyRow(m_listed[row]);
    for (int column = 0; column < cells.size(); ++column)
      m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  m_table->resizeColumnsToContents();
}

QString frmCalHistory::exportCsv(const QString &path) const {
  QFile::remove(path);
  return common::appendChosenFile(path, calibration::historyCsv(m_listed));
}

void frmCalHistory::exportChosen() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Export Calibration History"), QStringLiteral("calibration-history.csv"),
      QStringLiteral("CSV files (*.csv)"));
  if (path.isEmpty())
    return;
  if (const QString error = exportCsv(path); !error.isEmpty())
    QMessageBox::warning(
        this, windowTitle(),
        QStringLiteral("The history was not exported (%1).").arg(error));
}
