#include "history/log_window.h"

#include "history/log_chart.h"

#include "common/number_text.h"
#include "logging/log_export.h"
#include "logging/log_overview.h"
#include "state/operator_messages.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace history {
namespace {

// A thread that runs one function. (QThread::create goes through std::async, whose
// std::call_once makes the program load the dynamic linker by name.)
class WorkThread : public QThread {
public:
  explicit WorkThread(std::function<void()> work) : m_work(std::move(work)) {}

protected:
  void run() override { m_work(); }

private:
  std::function<void()> m_work;
};

} // namespace

QString LogWindow::clockText(qint64 wallSeconds) {
  return logging::wallIsoText(wallSeconds).replace(QLatin1Char('T'), QLatin1Char(' '));
}

LogWindow::LogWindow(LogWindowServices services, QWidget *parent)
    : QWidget(parent, Qt::Window), m_services(std::move(services)) {
  setObjectName(QStringLiteral("frmLogView"));
  buildWindow();
  m_tmrProgress = new QTimer(this);
  m_tmrProgress->setObjectName(QStringLiteral("tmrProgress"));
  m_tmrProgress->setTimerType(Qt::PreciseTimer);
  m_tmrProgress->setInterval(50);
  connect(m_tmrProgress, &QTimer::timeout, this, &LogWindow::updateProgress);
}

LogWindow::~LogWindow() {
  if (m_worker) {
    m_cancel->store(true);
    m_worker->wait();
    delete m_worker;
  }
}

void LogWindow::buildWindow() {
  setWindowTitle(QStringLiteral("Log File"));
  resize(1100, 640);
  auto *outer = new QVBoxLayout(this);

  auto *split = new QSplitter(Qt::Horizontal);
  m_chart = new LogChart;
  m_sidePane = new LogSidePane(*m_chart, this);
  connect(m_sidePane, &LogSidePane::alarmChosen, this, &LogWindow::showAlarm);
  connect(m_sidePane, &LogSidePane::eventsShown, this, &LogWindow::showNoteFlags);
  followChartMouse();
  auto *chartAndFigures = new QSplitter(Qt::Vertical);
  chartAndFigures->addWidget(m_chart);
  chartAndFigures->addWidget(buildSpanPane());
  chartAndFigures->setStretchFactor(0, 1);
  chartAndFigures->setSizes({400, 200});
  split->addWidget(chartAndFigures);
  split->addWidget(buildSide());
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 0);
  split->setSizes({800, 300});
  outer->addWidget(split, 1);
  outer->addLayout(buildChoices());

  m_lblCursor = new QLabel;
  m_lblCursor->setObjectName(QStringLiteral("lblCursor"));
  m_lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outer->addWidget(m_lblCursor);
  outer->addLayout(buildStatus());

  connect(m_lstRuns, &QListWidget::currentRowChanged, this, &LogWindow::showRun);
  m_cmdExport->setEnabled(false);
  m_cmdWholeFile->setEnabled(false);
}

QListWidget *LogWindow::addCaptionedList(QBoxLayout *layout, const QString &caption,
                                         const char *objectName, int stretch) {
  auto *label = new QLabel(caption);
  auto *list = new QListWidget;
  list->setObjectName(QString::fromLatin1(objectName));
  list->setWordWrap(true);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  label->setBuddy(list);
  layout->addWidget(label);
  layout->addWidget(list, stretch);
  return list;
}

QWidget *LogWindow::buildSide() {
  auto *side = new QWidget;
  auto *sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  m_lstRuns = addCaptionedList(sideLayout, QStringLiteral("&Runs"), "lstRuns", 1);
  auto *headerCaption = new QLabel(QStringLiteral("&Header"));
  m_txtHeader = new QPlainTextEdit;
  m_txtHeader->setObjectName(QStringLiteral("txtHeader"));
  m_txtHeader->setReadOnly(true);
  headerCaption->setBuddy(m_txtHeader);
  sideLayout->addWidget(headerCaption);
  sideLayout->addWidget(m_txtHeader, 2);
  sideLayout->addWidget(m_sidePane->widget(), 1);
  side->setMaximumWidth(420);
  return side;
}

QLayout *LogWindow::buildChoices() {
  auto *choices = new QHBoxLayout;
  for (const LogSeries &s : kLogSeries) {
    auto *box = new QCheckBox(QString::fromUtf8(s.caption));
    box->setObjectName(QString::fromLatin1(s.objectName));
    box->setChecked(s.shownAtStart);
    connect(box, &QCheckBox::toggled, this, &LogWindow::replot);
    m_columns << box;
    choices->addWidget(box);
  }
  choices->addSpacing(16);
  m_chkPhCorr = new QCheckBox(QStringLiteral("pH with correction"));
  m_chkPhCorr->setObjectName(QStringLiteral("chkPhCorr"));
  m_chkPhCorr->setChecked(true);
  m_chkThermOffset = new QCheckBox(QStringLiteral("Temperatures with offsets"));
  m_chkThermOffset->setObjectName(QStringLiteral("chkThermOffset"));
  m_chkThermOffset->setChecked(true);
  connect(m_chkPhCorr, &QCheckBox::toggled, this, &LogWindow::replot);
  connect(m_chkThermOffset, &QCheckBox::toggled, this, &LogWindow::replot);
  choices->addWidget(m_chkPhCorr);
  choices->addWidget(m_chkThermOffset);
  choices->addStretch();
  m_cmdWholeFile = new QPushButton(QStringLiteral("&Whole File"));
  m_cmdWholeFile->setObjectName(QStringLiteral("cmdWholeFile"));
  connect(m_cmdWholeFile, &QPushButton::clicked, this, [this] {
    m_chart->showWholeFile();
    m_chart->replot();
  });
  m_cmdExport = new QPushButton(QStringLiteral("&Export…"));
  m_cmdExport->setObjectName(QStringLiteral("cmdExport"));
  connect(m_cmdExport, &QPushButton::clicked, this, &LogWindow::exportTable);
  m_cmdOverlay = new QPushButton(QStringLiteral("&Overlay Runs…"));
  m_cmdOverlay->setObjectName(QStringLiteral("cmdOverlay"));
  m_cmdOverlay->setEnabled(false);
  connect(m_cmdOverlay, &QPushButton::clicked, this, &LogWindow::openOverlay);
  m_cmdReport = new QPushButton(QStringLiteral("Export &Report…"));
  m_cmdReport->setObjectName(QStringLiteral("cmdReport"));
  m_cmdReport->setEnabled(false);
  connect(m_cmdReport, &QPushButton::clicked, this, &LogWindow::exportReport);
  choices->addWidget(m_cmdWholeFile);
  choices->addWidget(m_cmdOverlay);
  choices->addWidget(m_cmdExport);
  choices->addWidget(m_cmdReport);
  return choices;
}

QLayout *LogWindow::buildStatus() {
  auto *bottom = new QHBoxLayout;
  m_lblStatus = new QLabel;
  m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
  m_prgRead = new QProgressBar;
  m_prgRead->setObjectName(QStringLiteral("prgRead"));
  m_prgRead->setRange(0, 1000);
  m_prgRead->setVisible(false);
  m_cmdCancel = new QPushButton(QStringLiteral("Cancel"));
  m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  m_cmdCancel->setVisible(false);
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] {
    if (m_cancel)
      m_cancel->store(true);
  });
  bottom->addWidget(m_lblStatus, 1);
  bottom->addWidget(m_prgRead);
  bottom->addWidget(m_cmdCancel);
  return bottom;
}

void LogWindow::openFile(const QString &path) {
  if (m_worker)
    return;
  delete m_overlay;
  m_path = path;
  setWindowTitle(QStringLiteral("Log File - %1").arg(QFileInfo(path).fileName()));
  m_lblStatus->setText(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(path)));
  clearSpan();
  m_log.reset();
  showSideFiles({});
  m_result = std::make_shared<logging::LogFile>();
  m_sideResult = std::make_shared<LogSideFiles>();
  // A file too long to hold is read as an overview; the figures and exports then read it again.
  const bool overview = QFileInfo(path).size() > m_services.maxInMemoryBytes;
  startWorker([result = m_result, side = m_sideResult, path, overview,
               keep = m_services.overviewRecords](const logging::LogProgress &progress) {
    *result = overview ? logging::readLogOverview(path, keep, progress)
                       : logging::readLogFile(path, progress);
    if (result->ok)
      *side = readSideFiles(path);
  });
  connect(m_worker, &QThread::finished, this, &LogWindow::readingFinished);
  m_worker->start();
}

void LogWindow::updateProgress() {
  const qint64 total = m_total ? m_total->load() : -1;
  if (total > 0)
    m_prgRead->setValue(int(m_done->load() * 1000 / total));
}

void LogWindow::readingFinished() {
  stopWorker();
  std::shared_ptr<logging::LogFile> result = std::move(m_result);
  std::shared_ptr<LogSideFiles> side = std::move(m_sideResult);
  if (!result->ok) {
    m_lblStatus->setText(result->cancelled ? QStringLiteral("Reading cancelled") : result->error);
    if (!result->cancelled)
      showMessage(result->error);
    emit fileRead(false);
    close();
    return;
  }
  m_log = std::make_unique<logging::LogFile>(std::move(*result));
  m_chart->setLog(m_log.get());
  showSideFiles(std::move(*side));

  QString status = QStringLiteral("%1: %2 run(s), %3 record(s)")
                       .arg(QDir::toNativeSeparators(m_path))
                       .arg(m_log->runs.size())
                       .arg(m_log->recordCount());
  if (m_log->overview())
    status += QStringLiteral("; too long to hold, shown as an overview of %1 record(s) that keeps "
                             "every spike: the read-out names the nearest one kept")
                  .arg(m_log->records.size());
  if (m_log->damagedLines > 0)
    status += QStringLiteral("; %1 damaged line(s) skipped, the first at line %2")
                  .arg(m_log->damagedLines)
                  .arg(m_log->firstDamagedLine);
  m_fileStatus = status;
  m_lblStatus->setText(status + m_sidePane->status());

  m_lstRuns->clear();
  for (int i = 0; i < m_log->runs.size(); ++i)
    m_lstRuns->addItem(runTitle(i));
  m_cmdExport->setEnabled(true);
  m_cmdWholeFile->setEnabled(true);
  m_cmdOverlay->setEnabled(m_log->runs.size() > 1);
  m_cmdReport->setEnabled(!m_log->records.empty());
  setSpanFieldRanges();
  m_chart->showWholeFile();
  replot();
  if (!m_log->runs.isEmpty()) {
    const QSignalBlocker block(m_lstRuns); // the whole file stays in view
    m_lstRuns->setCurrentRow(0);
  }
  showRun(0);
  emit fileRead(true);
}

QString LogWindow::runTitle(int run) const {
  const logging::LogRun &r = m_log->runs[run];
  if (r.recordCount == 0)
    return QStringLiteral("Run %1: %2, no records").arg(run + 1).arg(r.date.toString(Qt::ISODate));
  const qint64 first = m_log->records[size_t(r.firstRecord)].wallSeconds;
  const qint64 last = m_log->records[size_t(r.firstRecord + r.recordCount - 1)].wallSeconds;
  return QStringLiteral("Run %1: %2 to %3, %4 record(s)")
      .arg(run + 1)
      .arg(clockText(first), clockText(last))
      .arg(m_log->runRecordCount(run));
}

void LogWindow::replot() {
  if (!m_log)
    return;
  LogChartView view;
  for (int i = 0; i < kLogSeriesCount; ++i)
    view.shown[size_t(i)] = m_columns[i]->isChecked();
  view.phCorrected = m_chkPhCorr->isChecked();
  view.thermistorOffsets = m_chkThermOffset->isChecked();
  m_chart->showSeries(view);
  showFigures();
}

void LogWindow::showRun(int run) {
  if (!m_log || run < 0 || run >= m_log->runs.size()) {
    m_txtHeader->clear();
    return;
  }
  const logging::LogRun &r = m_log->runs[run];
  using logging::schemaText;
  QStringList lines;
  lines << QStringLiteral("Run %1, header at line %2").arg(run + 1).arg(r.headerLine)
        << schemaText(logging::kDateLabel) + r.date.toString(Qt::ISODate)
        << schemaText(logging::kVersionLabel) + r.version;
  for (const logging::ProbeFieldInfo &field : logging::kProbeFields)
    lines << schemaText(field.label) + r.*field.member;
  lines << QStringLiteral("Records: %1").arg(m_log->runRecordCount(run)) << QString()
        << calibrationLines(*m_log, m_sidePane->side(), r);
  m_txtHeader->setPlainText(lines.join(QLatin1Char('\n')));
  // Choosing a run in the list brings it into view; the first showing keeps the whole file.
  if (r.recordCount > 0 && sender() == m_lstRuns) {
    const double first = double(m_log->records[size_t(r.firstRecord)].wallSeconds);
    const double last =
        double(m_log->records[size_t(r.firstRecord + r.recordCount - 1)].wallSeconds);
    const double margin = std::max(1.0, (last - first) * 0.02);
    m_chart->xAxis->setRange(first - margin, last + margin);
    m_chart->replot();
  }
}

void LogWindow::showCursorAt(double key) {
  const logging::LogRecord *r = m_log ? m_chart->nearestRecord(key) : nullptr;
  if (!r)
    return;
  QStringList parts;
  parts << clockText(r->wallSeconds) << QStringLiteral("run %1").arg(r->run + 1);
  for (int i = 0; i < kLogSeriesCount; ++i) {
    if (!m_columns[i]->isChecked())
      continue;
    const double value = m_chart->valueOf(i, *r);
    const LogSeries &s = kLogSeries[size_t(i)];
    const QString shown = std::isnan(value)
                              ? QStringLiteral("-")
                              : common::generalNumber(common::roundHalfEven(value, s.places()));
    parts << QString::fromUtf8(s.caption) + QLatin1Char(' ') + shown;
  }
  QStringList near;
  for (const QString &text :
       {m_sidePane->alarmsNear(key), notesNear(key), m_sidePane->notReadAt(key)})
    if (!text.isEmpty())
      near << text;
  parts << near;
  m_chart->setToolTip(near.join(QLatin1Char('\n')));
  m_cursorWall = r->wallSeconds;
  m_cmdAddNote->setEnabled(true);
  m_lblCursor->setText(parts.join(QStringLiteral("   ")));
  m_chart->placeCursor(double(r->wallSeconds));
}

void LogWindow::exportChosen(const logging::LogSelection &selection, const QString &path) {
  if (m_log->overview())
    return exportFromFile(selection, path);
  // A week of records takes seconds as a workbook. The log is not changed while the thread
  // reads it: no other file is opened until the thread ends.
  auto error = std::make_shared<QString>();
  auto ok = std::make_shared<bool>(false);
  m_lblStatus->setText(QStringLiteral("Exporting to %1").arg(QDir::toNativeSeparators(path)));
  startWorker([log = m_log.get(), path, error, ok, selection](const logging::LogProgress &progress) {
    *ok = logging::exportLog(*log, path, error.get(), progress, selection);
  });
  qint64 count = 0;
  for (const logging::LogRecord &r : m_log->records)
    count += selection.takes(r) ? 1 : 0;
  connect(m_worker, &QThread::finished, this, [this, path, error, ok, count] {
    const bool cancelled = m_cancel->load();
    stopWorker();
    if (*ok) {
      m_lblStatus->setText(QStringLiteral("Exported %1 record(s) to %2")
                               .arg(count)
                               .arg(QDir::toNativeSeparators(path)));
    } else if (cancelled) {
      m_lblStatus->setText(QStringLiteral("Export cancelled"));
    } else {
      m_lblStatus->setText(*error);
      showMessage(*error);
    }
    emit exported(*ok);
  });
  m_worker->start();
}

void LogWindow::startWorker(std::function<void(const logging::LogProgress &)> work) {
  // The thread holds its own references: it never touches the window.
  auto done = m_done = std::make_shared<std::atomic<qint64>>(0);
  auto total = m_total = std::make_shared<std::atomic<qint64>>(-1);
  auto cancel = m_cancel = std::make_shared<std::atomic<bool>>(false);
  m_worker = new WorkThread([work = std::move(work), done, total, cancel] {
    work([&](qint64 d, qint64 t) {
      done->store(d);
      total->store(t);
      return !cancel->load();
    });
  });
  m_prgRead->setValue(0);
  m_prgRead->setVisible(true);
  m_cmdCancel->setVisible(true);
  m_cmdExport->setEnabled(false);
  m_tmrProgress->start();
}

void LogWindow::stopWorker() {
  m_tmrProgress->stop();
  m_worker->wait();
  delete m_worker;
  m_worker = nullptr;
  m_prgRead->setVisible(false);
  m_cmdCancel->setVisible(false);
  m_cmdExport->setEnabled(m_log != nullptr);
}

void LogWindow::showMessage(const QString &text) {
  if (m_services.messages)
    m_services.messages->showMessage(text);
  else
    QMessageBox::warning(this, QString(), text);
}

void LogWindow::showSideFiles(LogSideFiles side) {
  m_sidePane->show(std::move(side), m_path, m_log.get());
}

void LogWindow::showAlarm(double key) {
  if (!m_log)
    return;
  const QCPRange range = m_chart->xAxis->range();
  if (!range.contains(key))
    m_chart->xAxis->setRange(key - range.size() / 2, key + range.size() / 2);
  showCursorAt(key);
  m_chart->replot();
}

} // namespace history
