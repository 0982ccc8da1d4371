#pragma once

#include "alarms/alarm_engine.h"
#include "state/operator_messages.h"

#include <QDialog>
#include <QLocale>

#include <array>

class QLineEdit;

namespace alarms {

// "Alarm Limits": a row of low limit, high limit, deadband and on-delay per quantity, and a row
// per channel for its time without a reading. Numbers are read and shown in the dialog's locale;
// an empty field is a limit that is off. OK refuses rows that make no sense, naming the row, and
// otherwise emits the operator's choice; the dialog changes nothing itself.
class AlarmLimitsDialog : public QDialog {
  Q_OBJECT
public:
  AlarmLimitsDialog(tiltdgh::OperatorMessages &messages, QWidget *parent = nullptr);

  void setLocale(const QLocale &locale);
  // Shows these limits in the fields.
  void showSettings(const AlarmSettings &settings);
  // The field of `alarm` (0 low, 1 high, 2 deadband, 3 on-delay; a no-reading alarm has 0 only).
  QLineEdit *field(Alarm alarm, int role) const;

signals:
  void settingsChosen(const alarms::AlarmSettings &settings);

private:
  void accept() override;
  bool read(AlarmSettings &settings);
  bool readField(Alarm alarm, int role, std::optional<double> &value);
  QString text(std::optional<double> value) const;

  tiltdgh::OperatorMessages &m_messages;
  QLocale m_locale;
  std::array<std::array<QLineEdit *, 4>, alarmCount> m_fields{};
};

} // namespace alarms
