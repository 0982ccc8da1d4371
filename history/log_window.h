#pragma once

#include "calibration/calibration_history.h"
#include "history/alarm_marks.h"
#include "history/run_events.h"
#include "logging/log_reader.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QLayout;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;

namespace tiltdgh {
class OperatorMessages;
}

class QCPAbstractItem;

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

// What the log window needs from outside; every member has a working default.
struct LogWindowServices {
  // Modal OK boxes; null means a QMessageBox.
  tiltdgh::OperatorMessages *messages = nullptr;
  // The "Export…" file chooser: the path chosen, or empty for Cancel. Null means a QFileDialog.
  std::function<QString(QWidget *parent, const QString &suggested)> askExportPath;
};

// A log file shown in a window of its own: a chart of the chosen columns against date and time,
// a cursor read-out, the runs listed and the chosen run's header beside the chart, and "Export…"
// to a tidy table. The run's alarm journal, when one lies beside the file, is marked on the chart
// and listed; the header is followed by the calibration history's record in force at the run's
// start. The file is read on a thread of its own, with a progress bar and "Cancel", so
// the window never stops answering. A file that cannot be read, or is no log, is said in a box
// and the window closes; damaged lines are counted in the status line.
class LogWindow : public QWidget {
  Q_OBJECT
public:
  explicit LogWindow(LogWindowServices services = {}, QWidget *parent = nullptr);
  ~LogWindow() override;

  // Starts reading `path`; the window shows the progress and then the file.
  void openFile(const QString &path);
  // A reading or an export is running.
  bool isReading() const { return m_worker != nullptr; }
  const logging::LogFile *log() const { return m_log.get(); }

  // The read-out for the record nearest to `key` (wall-clock seconds, as the chart's x), shown
  // under the chart; what the mouse does as it moves over the chart.
  void showCursorAt(double key);

signals:
  // The reading ended: `ok` false when nothing is shown (error, cancel).
  void fileRead(bool ok);
  // "Export…" ended: `ok` false when no table was written (error told, or cancelled).
  void exported(bool ok);

private:
  void buildWindow();
  QWidget *buildSide();
  QLayout *buildChoices();
  QLayout *buildStatus();
  // Runs `work` on a thread of its own while the progress bar and "Cancel" show; "Cancel" and
  // closing the window make its progress calls return false.
  void startWorker(std::function<void(const logging::LogProgress &)> work);
  void stopWorker();
  void readingFinished();
  void updateProgress();
  void replot();
  void showRun(int run);
  void exportTable();
  void showMessage(const QString &text);
  QString runTitle(int run) const;
  static QString clockText(qint64 wallSeconds);
  // A list under a caption that names it, added to `layout`.
  static QListWidget *addCaptionedList(QBoxLayout *layout, const QString &caption,
                                       const char *objectName, int stretch);
  // The alarm journal and calibration history beside the log.
  QWidget *buildAlarmList();
  void showSideFiles(LogSideFiles side);
  QString alarmStatus() const;
  QString alarmsNear(double key) const;
  void showRunEvents();
  void showAlarm(int row);
  QStringList calibrationLines(const logging::LogRun &run) const;

  LogWindowServices m_services;
  QString m_path;
  std::unique_ptr<logging::LogFile> m_log;
  LogSideFiles m_side; // the chart holds pointers into its journal's marks
  std::vector<QCPAbstractItem *> m_holeItems; // the resumed runs' holes drawn on the chart

  // Shared with the reading or exporting thread.
  std::shared_ptr<logging::LogFile> m_result;
  std::shared_ptr<LogSideFiles> m_sideResult;
  std::shared_ptr<std::atomic<qint64>> m_done;
  std::shared_ptr<std::atomic<qint64>> m_total;
  std::shared_ptr<std::atomic<bool>> m_cancel;
  QThread *m_worker = nullptr;
  QTimer *m_tmrProgress = nullptr;

  LogChart *m_chart = nullptr;
  QList<QCheckBox *> m_columns; // one per charted series, in chart order
  QCheckBox *m_chkPhCorr = nullptr;
  QCheckBox *m_chkThermOffset = nullptr;
  QListWidget *m_lstRuns = nullptr;
  QWidget *m_alarmPane = nullptr;
  QListWidget *m_lstAlarms = nullptr;
  QPlainTextEdit *m_txtHeader = nullptr;
  QLabel *m_lblCursor = nullptr;
  QLabel *m_lblStatus = nullptr;
  QProgressBar *m_prgRead = nullptr;
  QPushButton *m_cmdCancel = nullptr;
  QPushButton *m_cmdExport = nullptr;
  QPushButton *m_cmdWholeFile = nullptr;
};

} // namespace history
