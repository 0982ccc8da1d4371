#pragma once

#include "alarms/alarm_engine.h"

#include <QDialog>
#include <QLocale>

class QComboBox;
class QTableWidget;

namespace alarms {

// "Alarm List": every alarm with its state, the value and limit of its latest excursion, since
// when (the excursion's raise), and when the operator last acknowledged or shelved it. Its
// buttons emit what the operator asked for; refresh() shows the engine's states.
class AlarmList : public QDialog {
  Q_OBJECT
public:
  explicit AlarmList(QWidget *parent = nullptr);

  void refresh(const AlarmEngine &engine);
  QTableWidget *table() const { return m_table; }

  static constexpr int columnCount = 6;

signals:
  void acknowledgeRequested(alarms::Alarm alarm);
  void acknowledgeAllRequested();
  void shelveRequested(alarms::Alarm alarm, int minutes);
  void unshelveRequested(alarms::Alarm alarm);

private:
  std::optional<Alarm> chosen() const;

  QTableWidget *m_table;
  QComboBox *m_shelfTime;
};

} // namespace alarms
