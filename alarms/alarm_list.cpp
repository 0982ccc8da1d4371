#include "alarms/alarm_list.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace alarms {
namespace {

QString number(const QLocale &locale, double value) {
  if (!std::isfinite(value))
    return {};
  QString text = locale.toString(value, 'g', QLocale::FloatingPointShortest);
  return text.remove(locale.groupSeparator());
}

QString localTime(qint64 ms) {
  return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                : QString();
}

} // namespace

AlarmList::AlarmList(QWidget *parent)
    : QDialog(parent), m_table(new QTableWidget(alarmCount, columnCount)),
      m_shelfTime(new QComboBox) {
  setObjectName(QStringLiteral("frmAlarmList"));
  setWindowTitle(QStringLiteral("Alarm List"));
  m_table->setObjectName(QStringLiteral("tblAlarms"));
  m_table->setAccessibleName(QStringLiteral("Alarms"));
  m_table->setHorizontalHeaderLabels({QStringLiteral("Alarm"), QStringLiteral("State"),
                                      QStringLiteral("Value"), QStringLiteral("Limit"),
                                      QStringLiteral("Since"),
                                      QStringLiteral("Acknowledged / Shelved")});
  m_table->verticalHeader()->hide();
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (const Alarm alarm : allAlarms)
    for (int column = 0; column < columnCount; ++column)
      m_table->setItem(index(alarm), column, new QTableWidgetItem);
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_table->selectRow(0);

  for (const auto &[text, minutes] : {std::pair{"15 min", 15}, std::pair{"1 h", 60},
                                      std::pair{"8 h", 480}, std::pair{"24 h", 1440}})
    m_shelfTime->addItem(QString::fromLatin1(text), minutes);
  m_shelfTime->setAccessibleName(QStringLiteral("Shelve for"));
  auto *acknowledge = new QPushButton(QStringLiteral("Acknowledge"));
  auto *acknowledgeAll = new QPushButton(QStringLiteral("Acknowledge All"));
  auto *shelve = new QPushButton(QStringLiteral("Shelve"));
  auto *unshelve = new QPushButton(QStringLiteral("Unshelve"));
  auto *close = new QPushButton(QStringLiteral("Close"));
  connect(acknowledge, &QPushButton::clicked, this, [this] {
    if (const std::optional<Alarm> alarm = chosen())
      emit acknowledgeRequested(*alarm);
  });
  connect(acknowledgeAll, &QPushButton::clicked, this, &AlarmList::acknowledgeAllRequested);
  connect(shelve, &QPushButton::clicked, this, [this] {
    if (const std::optional<Alarm> alarm = chosen())
      emit shelveRequested(*alarm, m_shelfTime->currentData().toInt());
  });
  connect(unshelve, &QPushButton::clicked, this, [this] {
    if (const std::optional<Alarm> alarm = chosen())
      emit unshelveRequested(*alarm);
  });
  connect(close, &QPushButton::clicked, this, &QDialog::hide);

  auto *buttons = new QHBoxLayout;
  buttons->addWidget(acknowledge);
  buttons->addWidget(acknowledgeAll);
  buttons->addSpacing(12);
  buttons->addWidget(shelve);
  auto *forLabel = new QLabel(QStringLiteral("for"));
  forLabel->setBuddy(m_shelfTime);
  buttons->addWidget(forLabel);
  buttons->addWidget(m_shelfTime);
  buttons->addWidget(unshelve);
  buttons->addStretch();
  buttons->addWidget(close);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  layout->addLayout(buttons);
  resize(720, 380);
}

std::optional<Alarm> AlarmList::chosen() const {
  const int row = m_table->currentRow();
  if (row < 0 || row >= alarmCount)
    return std::nullopt;
  return allAlarms[row];
}

void AlarmList::refresh(const AlarmEngine &engine) {
  const QLocale locale;
  for (const Alarm alarm : allAlarms) {
    const AlarmStatus &status = engine.status(alarm);
    const int row = index(alarm);
    QString state = describe(status);
    if (status.state == AlarmState::Shelved)
      state += QStringLiteral(" until ") + localTime(status.shelvedUntilMs);
    const bool seen = status.condition != Condition::None;
    const QString unit =
        isNoReading(alarm) ? QStringLiteral("s")
                           : QString::fromUtf8(state::info(quantity(alarm)).unit);
    const auto withUnit = [&](double value) {
      const QString text = number(locale, value);
      return text.isEmpty() ? text : text + QLatin1Char(' ') + unit;
    };
    m_table->item(row, 0)->setText(name(alarm));
    m_table->item(row, 1)->setText(state);
    m_table->item(row, 2)->setText(seen ? withUnit(status.value) : QString());
    m_table->item(row, 3)->setText(seen ? withUnit(status.limit) : QString());
    // The excursion's start, not the state's: an acknowledge or a shelf does not move it.
    m_table->item(row, 4)->setText(seen ? localTime(status.raisedMs) : QString());
    m_table->item(row, 5)->setText(localTime(status.handledMs));
    const bool unacknowledged = status.state == AlarmState::ActiveUnacknowledged ||
                                status.state == AlarmState::ReturnedUnacknowledged;
    QFont font = m_table->item(row, 1)->font();
    font.setBold(unacknowledged);
    m_table->item(row, 1)->setFont(font);
  }
}

} // namespace alarms
