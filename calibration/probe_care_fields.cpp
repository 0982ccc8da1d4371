#include "calibration/probe_care_fields.h"

#include "calibration/calibration_store.h"
#include "common/number_text.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

using calibration::ConditionLimits;
using calibration::Limits;

// The six limits, in the table's reading order: per row a warn and a refuse cell.
struct LimitField {
  const char *caption; // names the cell in messages and to assistive technology
  Limits ConditionLimits::*limits;
  bool refuse;
};
constexpr LimitField limitFields[calibration::ProbeCareFields::limitFieldCount] = {
    {"Slope against the default, warn (percentage points)", &ConditionLimits::slopeOfDefault,
     false},
    {"Slope against the default, refuse (percentage points)", &ConditionLimits::slopeOfDefault,
     true},
    {"Slope against the previous, warn (percentage points)", &ConditionLimits::slopeOfPrevious,
     false},
    {"Slope against the previous, refuse (percentage points)", &ConditionLimits::slopeOfPrevious,
     true},
    {"Offset change, warn (mV)", &ConditionLimits::offsetChangeMv, false},
    {"Offset change, refuse (mV)", &ConditionLimits::offsetChangeMv, true},
};
constexpr const char *limitRowCaptions[] = {"Slope vs default, % pts", "Slope vs previous, % pts",
                                            "Offset change, mV"};

double &bound(ConditionLimits &limits, const LimitField &field) {
  Limits &pair = limits.*field.limits;
  return field.refuse ? pair.refuse : pair.warn;
}

} // namespace

namespace calibration {

// In a column of its own and rows no taller than the coefficients' beside it: the limits, then
// the due interval below them.
ProbeCareFields::ProbeCareFields(QGridLayout *grid, int rowHeight, QWidget *dialog,
                                 tiltdgh::OperatorMessages &messages)
    : QObject(dialog), m_messages(messages) {
  addLimitTable(grid, rowHeight, dialog);
  auto *due = new QGroupBox(QStringLiteral("Due every (days, 0: never)"));
  m_txtDueDays = new QLineEdit;
  m_txtDueDays->setObjectName(QStringLiteral("txtDueDays"));
  m_txtDueDays->setAccessibleName(QStringLiteral("Calibration due every, days"));
  (new QVBoxLayout(due))->addWidget(m_txtDueDays);
  grid->addWidget(due, 4, 2, 2, 1);
  connect(m_txtDueDays, &QLineEdit::editingFinished, this, &ProbeCareFields::applyDueDaysText);
}

// A table of its own rather than captions, which would stand among the Part's labels: a row per
// limit, a column each for warn and refuse, rows as tall as the fields beside them.
void ProbeCareFields::addLimitTable(QGridLayout *grid, int rowHeight, QWidget *dialog) {
  m_tblLimits = new QTableWidget(limitFieldCount / 2, 2);
  m_tblLimits->setObjectName(QStringLiteral("tblCareLimits"));
  m_tblLimits->setAccessibleName(QStringLiteral("Probe condition limits"));
  m_tblLimits->setHorizontalHeaderLabels({QStringLiteral("warn"), QStringLiteral("refuse")});
  QStringList rows;
  for (const char *caption : limitRowCaptions)
    rows << QLatin1String(caption);
  m_tblLimits->setVerticalHeaderLabels(rows);
  // Sized here, not from the contents: those are known only once the dialog is shown, too late
  // to widen it, and the Part's fields would give up their width.
  const QFontMetrics fontMetrics = dialog->fontMetrics();
  int captionWidth = 0;
  for (const QString &caption : rows)
    captionWidth = std::max(captionWidth, fontMetrics.horizontalAdvance(caption));
  const int columnWidth = fontMetrics.horizontalAdvance(QStringLiteral("refuse")) * 2;
  QHeaderView *rowHeader = m_tblLimits->verticalHeader();
  QHeaderView *columnHeader = m_tblLimits->horizontalHeader();
  rowHeader->setSectionResizeMode(QHeaderView::Fixed);
  rowHeader->setDefaultSectionSize(rowHeight);
  rowHeader->setFixedWidth(captionWidth + fontMetrics.averageCharWidth() * 2);
  columnHeader->setSectionResizeMode(QHeaderView::Fixed);
  columnHeader->setDefaultSectionSize(columnWidth);
  columnHeader->setFixedHeight(rowHeight);
  m_tblLimits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_tblLimits->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int frame = 2 * m_tblLimits->frameWidth();
  m_tblLimits->setFixedSize(rowHeader->width() + 2 * columnWidth + frame,
                            rowHeight * (1 + limitFieldCount / 2) + frame);
  for (int i = 0; i < limitFieldCount; ++i) {
    auto *item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setData(Qt::AccessibleTextRole, QLatin1String(limitFields[i].caption));
    m_tblLimits->setItem(i / 2, i % 2, item);
  }
  connect(m_tblLimits, &QTableWidget::itemChanged, this,
          [this](QTableWidgetItem *item) { applyLimitText(item->row() * 2 + item->column()); });
  grid->addWidget(m_tblLimits, 0, 2, 4, 1, Qt::AlignTop);
}

void ProbeCareFields::showProbe(int probe) {
  m_probe = probe;
  m_care = readProbeCare(probe);
  m_txtDueDays->setText(QString::number(m_care.dueDays));
  for (int i = 0; i < limitFieldCount; ++i)
    limitItem(i)->setText(common::generalNumber(bound(m_care.limits, limitFields[i])));
}

void ProbeCareFields::applyDueDaysText() {
  bool ok = false;
  const int days = m_txtDueDays->text().trimmed().toInt(&ok);
  if (!ok || days < 0) {
    m_messages.showMessage(QStringLiteral("\"Due every (days)\": \"%1\" is not a whole number of "
                                          "days, 0 or more. The interval stays %2.")
                               .arg(m_txtDueDays->text())
                               .arg(m_care.dueDays));
    m_txtDueDays->setText(QString::number(m_care.dueDays));
    return;
  }
  if (days == m_care.dueDays)
    return;
  m_care.dueDays = days;
  save(QStringLiteral("calibration interval"));
}

void ProbeCareFields::applyLimitText(int index) {
  const LimitField &field = limitFields[index];
  QTableWidgetItem *item = limitItem(index);
  const double present = bound(m_care.limits, field);
  const std::optional<double> value = readCoefficientNumber(item->text().trimmed());
  // Unchanged (the dialog showing the stored limits, or putting one back) is never refused, even
  // where a store edited by hand holds a warning limit above its refusal limit.
  if (value && *value == present)
    return;
  QString refusal;
  if (!value || *value < 0) {
    refusal = QStringLiteral("\"%1\" is not a number, 0 or more.").arg(item->text());
  } else {
    const Limits &pair = m_care.limits.*field.limits;
    if (field.refuse && *value < pair.warn)
      refusal = QStringLiteral("%1 is below the warning limit, %2: a result is warned of before "
                               "it is refused.")
                    .arg(common::generalNumber(*value), common::generalNumber(pair.warn));
    else if (!field.refuse && *value > pair.refuse)
      refusal = QStringLiteral("%1 is above the refusal limit, %2: a result is warned of before "
                               "it is refused.")
                    .arg(common::generalNumber(*value), common::generalNumber(pair.refuse));
  }
  if (!refusal.isEmpty()) {
    m_messages.showMessage(
        QStringLiteral("\"%1\": %2 The limit stays %3.")
            .arg(QLatin1String(field.caption), refusal, common::generalNumber(present)));
    item->setText(common::generalNumber(present));
    return;
  }
  bound(m_care.limits, field) = *value;
  save(QStringLiteral("limit \"%1\"").arg(QLatin1String(field.caption)));
  emit limitsChanged();
}

QTableWidgetItem *ProbeCareFields::limitItem(int index) const {
  return m_tblLimits->item(index / 2, index % 2);
}

void ProbeCareFields::save(const QString &what) {
  if (saveProbeCare(m_probe, m_care) == QSettings::AccessError)
    m_messages.showMessage(QStringLiteral("The %1 was not saved: the settings file %2 cannot be "
                                          "written.")
                               .arg(what, settingsFileName()));
}

} // namespace calibration
