#pragma once

#include "history/log_side_pane.h"
#include "history/span_stats.h"
#include "logging/log_reader.h"
#include "logging/log_selection.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QDateTimeEdit;
class QMouseEvent;
class QTableWidget;
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
class LogSidePane;

// What the log window needs from outside; every member has a working default.
struct LogWindowServices {
  // Modal OK boxes; null means a QMessageBox.
  tiltdgh::OperatorMessages *messages = nullptr;
  // The "Export…" and "Export Report…" file chooser: the path chosen, or empty for Cancel. Null
  // means a QFileDialog.
  std::function<QString(QWidget *parent, const QString &suggested)> askExportPath;
  // What "Export…" takes: an index into `choices` (the whole file, the chosen run, the chosen
  // span), or -1 for Cancel. Null means a QInputDialog.
  std::function<int(QWidget *parent, const QStringList &choices)> askExportChoice;
  // A note's text for the time `when`, or nullopt for Cancel. Null means a QInputDialog.
  std::function<std::optional<QString>(QWidget *parent, const QString &when)> askNote;
  // Who a note added here is by; empty means the login name.
  QString user;
  // Files larger than this are read as an overview (logging::readLogOverview) of at most about
  // overviewRecords records, and their span figures and exports read the file again.
  qint64 maxInMemoryBytes = logging::kMaxLogFileBytes;
  qint64 overviewRecords = 320000; // about 44 MB of records, whatever the file's length
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
  // "2026-12-08 08:20:00": wall-clock seconds as the window's lists show them.
  static QString clockText(qint64 wallSeconds);

  // The read-out for the record nearest to `key` (wall-clock seconds, as the chart's x), shown
  // under the chart; what the mouse does as it moves over the chart.
  void showCursorAt(double key);

  // The span the statistics are over (wall-clock seconds, ends in either order), as a drag on the
  // chart or the span's two time fields choose it; the table and the chart's band follow.
  void setSpan(qint64 from, qint64 to);
  std::optional<Span> span() const { return m_span; }
  const SpanFigures &figures() const { return m_figures; }
  // The table as "Copy" puts it on the clipboard: tab-separated, the desktop's number form.
  QString figuresText() const;
  // Asks for a note and adds it at `wallSeconds` to the events journal beside the log, with the
  // user; false when nothing was added (cancelled, or the journal cannot be written: said).
  bool addNoteAt(qint64 wallSeconds);
  // "Overlay Runs…": the chosen run and the next (or the first) on one chart against the time
  // since each run's start, in a window of its own; null while none is open.
  QWidget *openOverlay();
  // "Export Report…": the chosen run's report (over the span, where one is chosen) as a PDF at a
  // path asked for through askExportPath; false when none was written (cancelled, or said why).
  // A log held as an overview is read again for it on the worker thread: true then says the
  // reading began, and reportRead tells the end.
  bool exportReport();

signals:
  // The reading ended: `ok` false when nothing is shown (error, cancel).
  void fileRead(bool ok);
  // "Export…" ended: `ok` false when no table was written (error told, or cancelled).
  void exported(bool ok);
  // The report of a log held as an overview ended: `ok` false when none was written.
  void reportRead(bool ok);

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
  // A list under a caption that names it, added to `layout`.
  static QListWidget *addCaptionedList(QBoxLayout *layout, const QString &caption,
                                       const char *objectName, int stretch);
  // The alarm journal and calibration history beside the log.
  void showSideFiles(LogSideFiles side);
  void showAlarm(double key);
  // The span's statistics and the notes (log_window_span.cpp).
  QWidget *buildSpanPane();
  void followChartMouse();
  void spanFieldsEdited();
  void setSpanFieldRanges(); // the file's first to last record
  // No span, no table, no read-out time: before another file is read.
  void clearSpan();
  void showFigures();
  void showFigureTable();
  // The span's figures read from the file on the worker thread (an overview holds too few
  // records); a span chosen meanwhile is figured once that reading ends.
  void figuresFromFile();
  void exportFromFile(const logging::LogSelection &selection, const QString &path);
  void reportFromFile(const QString &out);
  std::vector<SeriesSource> shownSources() const;
  void showNoteFlags();
  QString notesNear(double key) const;
  void exportChosen(const logging::LogSelection &selection, const QString &path);
  std::optional<logging::LogSelection> askSelection();

  LogWindowServices m_services;
  QString m_path;
  std::unique_ptr<logging::LogFile> m_log;

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
  LogSidePane *m_sidePane = nullptr;
  QPlainTextEdit *m_txtHeader = nullptr;
  QLabel *m_lblCursor = nullptr;
  QLabel *m_lblStatus = nullptr;
  QProgressBar *m_prgRead = nullptr;
  QPushButton *m_cmdCancel = nullptr;
  QPushButton *m_cmdExport = nullptr;
  QPushButton *m_cmdWholeFile = nullptr;

  QString m_fileStatus; // the status line's part about the log itself
  std::optional<Span> m_span;
  std::optional<double> m_dragFrom; // a Shift+drag on the chart under way, from this key
  SpanFigures m_figures;
  bool m_figuresPending = false;
  std::optional<qint64> m_cursorWall; // the read-out's record: where "Add Note…" puts a note
  QDateTimeEdit *m_edtFrom = nullptr;
  QDateTimeEdit *m_edtTo = nullptr;
  QTableWidget *m_tblStats = nullptr;
  QLabel *m_lblSpan = nullptr;
  QPushButton *m_cmdCopy = nullptr;
  QPushButton *m_cmdAddNote = nullptr;
  QPushButton *m_cmdOverlay = nullptr;
  QPushButton *m_cmdReport = nullptr;
  QPointer<QWidget> m_overlay; // holds m_log while open: closed before another file is read
  QCPAbstractItem *m_spanBand = nullptr;
  std::vector<QCPAbstractItem *> m_noteItems;
};

} // namespace history
