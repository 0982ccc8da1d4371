#pragma once

#include "calibration/calibration_history.h"
#include "history/alarm_marks.h"
#include "history/run_events.h"
#include "logging/log_reader.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class QCPAbstractItem;
class QColor;
class QListWidget;
class QWidget;

namespace history {

class LogChart;

// What is read beside a log: the run's alarm journal and the calibration history.
struct LogSideFiles {
  AlarmJournal journal;
  RunEvents events;
  QString historyPath;
  bool historyFound = false;
  calibration::HistoryReport history;
};

// Reads both for the log at `logPath`; bad or missing files give what could be read, never fail.
LogSideFiles readSideFiles(const QString &logPath);

// "Calibration in force at the run's start:", each probe's record in force by the calibration
// history, and whether the history is intact.
QStringList calibrationLines(const logging::LogFile &log, const LogSideFiles &side,
                             const logging::LogRun &run);

// The log window's files beside the log, shown: the list "lstAlarms" of the run's alarms and
// events (hidden while there is neither), the alarms marked on the chart, each resumed run's hole
// shaded with its length, and the spans each channel was not read in a lane per channel.
class LogSidePane : public QObject {
  Q_OBJECT
public:
  LogSidePane(LogChart &chart, QObject *parent);

  // The captioned list, to be put in the window's layout.
  QWidget *widget() const { return m_pane; }

  // Shows `side`, read beside the log at `logPath`; `log` (null while none is read) places the
  // holes and spans. The chart's marks point into what this pane keeps.
  void show(LogSideFiles side, const QString &logPath, const logging::LogFile *log);
  const LogSideFiles &side() const { return m_side; }

  // The status line's part about the journals: "; 3 alarm event(s) from …".
  QString status() const;
  // The alarms within reach of `key` on the chart, and the channels not read at `key`.
  QString alarmsNear(double key) const;
  QString notReadAt(double key) const;

signals:
  // The operator chose an alarm in the list: the chart is to show its time.
  void alarmChosen(double key);
  // The events were listed and drawn anew.
  void eventsShown();

private:
  void showRunEvents(const logging::LogFile *log);
  void showNotReadSpans(const logging::LogFile &log);
  // A band over [from, to] between two heights of the chart (0 its top, 1 its bottom), behind
  // the series, with `text` at `textAt` (a height); no text when `textAt` is negative.
  void addBand(qint64 from, qint64 to, double top, double bottom, const QColor &brush,
               const QString &text, double textAt);

  LogChart &m_chart;
  QWidget *m_pane = nullptr;
  QListWidget *m_lstAlarms = nullptr;
  QString m_logPath;
  LogSideFiles m_side; // the chart holds pointers into its journal's marks
  std::vector<NotReadSpan> m_notRead;
  std::vector<QCPAbstractItem *> m_items; // holes and not-read spans drawn on the chart
};

} // namespace history
