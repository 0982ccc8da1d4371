#include "history/log_window.h"

#include "common/number_text.h"
#include "logging/log_export.h"
#include "state/operator_messages.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QFileDialog>
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

using logging::LogColumn;

// The value axes: pH on the left, the others on the right, each shown only while in use.
enum Axis { PhAxis, TemperatureAxis, FlowAxis, TotalAxis, AxisCount };
const char *const kAxisLabels[AxisCount] = {"pH", "°C", "L/min", "L"};

// The chart's columns: a reading, the operator's adjustment that may be added to it, its axis
// and the decimal places of the read-out.
struct Series {
  const char *objectName;
  const char *caption;
  int column;
  int adjustment; // -1: none
  Axis axis;
  int places;
  QColor color;
};

const Series kSeries[] = {
    {"chkPh1", "pH1", LogColumn::Ph1Value, LogColumn::Ph1Corr, PhAxis, 4, QColor(0, 150, 0)},
    {"chkPh2", "pH2", LogColumn::Ph2Value, LogColumn::Ph2Corr, PhAxis, 4, QColor(200, 0, 0)},
    {"chkTherm1", "Therm1", LogColumn::Therm1, LogColumn::Therm1Offset, TemperatureAxis, 2,
     QColor(0, 90, 200)},
    {"chkTherm2", "Therm2", LogColumn::Therm2, LogColumn::Therm2Offset, TemperatureAxis, 2,
     QColor(0, 170, 200)},
    {"chkTherm3", "Therm3", LogColumn::Therm3, LogColumn::Therm3Offset, TemperatureAxis, 2,
     QColor(120, 60, 200)},
    {"chkFlow", "Flow (L/min)", LogColumn::LitersPerMin, -1, FlowAxis, 2, QColor(200, 120, 0)},
    {"chkTotal", "Total (L)", LogColumn::TotalLiters, -1, TotalAxis, 2, QColor(110, 110, 110)},
};
constexpr int kSeriesCount = int(sizeof kSeries / sizeof kSeries[0]);

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

bool isPh(int series) { return series < 2; }
bool isTemperature(int series) { return series >= 2 && series < 5; }

QString clockText(qint64 wallSeconds) {
  return logging::wallIsoText(wallSeconds).replace(QLatin1Char('T'), QLatin1Char(' '));
}

} // namespace

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
  m_chart = new QCustomPlot;
  m_chart->setObjectName(QStringLiteral("chtLog"));
  m_chart->setMinimumSize(500, 300);
  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  // The x values are the file's own wall-clock seconds: shown as UTC they read as written.
  ticker->setDateTimeSpec(Qt::UTC);
  ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm:ss"));
  m_chart->xAxis->setTicker(ticker);
  m_axes = {m_chart->yAxis, m_chart->yAxis2, m_chart->axisRect()->addAxis(QCPAxis::atRight),
            m_chart->axisRect()->addAxis(QCPAxis::atRight)};
  for (int a = 0; a < AxisCount; ++a)
    m_axes[a]->setLabel(QString::fromUtf8(kAxisLabels[a]));
  m_chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  m_chart->axisRect()->setRangeDrag(Qt::Horizontal);
  m_chart->axisRect()->setRangeZoom(Qt::Horizontal);
  m_chart->legend->setVisible(true);
  m_chart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  for (const Series &s : kSeries) {
    QCPGraph *g = m_chart->addGraph(m_chart->xAxis, m_axes[s.axis]);
    g->setName(QString::fromUtf8(s.caption));
    g->setPen(QPen(s.color, 1));
    g->setAdaptiveSampling(true);
  }
  m_cursor = new QCPItemStraightLine(m_chart);
  m_cursor->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
  m_cursor->setVisible(false);
  connect(m_chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent *e) {
    showCursorAt(m_chart->xAxis->pixelToCoord(e->position().x()));
  });
  split->addWidget(m_chart);

  auto *side = new QWidget;
  auto *sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  auto *runsCaption = new QLabel(QStringLiteral("&Runs"));
  m_lstRuns = new QListWidget;
  m_lstRuns->setObjectName(QStringLiteral("lstRuns"));
  m_lstRuns->setWordWrap(true);
  m_lstRuns->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  runsCaption->setBuddy(m_lstRuns);
  auto *headerCaption = new QLabel(QStringLiteral("&Header"));
  m_txtHeader = new QPlainTextEdit;
  m_txtHeader->setObjectName(QStringLiteral("txtHeader"));
  m_txtHeader->setReadOnly(true);
  headerCaption->setBuddy(m_txtHeader);
  sideLayout->addWidget(runsCaption);
  sideLayout->addWidget(m_lstRuns, 1);
  sideLayout->addWidget(headerCaption);
  sideLayout->addWidget(m_txtHeader, 2);
  split->addWidget(side);
  side->setMaximumWidth(420);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 0);
  split->setSizes({800, 300});
  outer->addWidget(split, 1);

  auto *choices = new QHBoxLayout;
  for (const Series &s : kSeries) {
    auto *box = new QCheckBox(QString::fromUtf8(s.caption));
    box->setObjectName(QString::fromLatin1(s.objectName));
    box->setChecked(s.column == LogColumn::Ph1Value || s.column == LogColumn::Ph2Value);
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
    m_chart->xAxis->rescale();
    m_chart->replot();
  });
  m_cmdExport = new QPushButton(QStringLiteral("&Export…"));
  m_cmdExport->setObjectName(QStringLiteral("cmdExport"));
  connect(m_cmdExport, &QPushButton::clicked, this, &LogWindow::exportTable);
  choices->addWidget(m_cmdWholeFile);
  choices->addWidget(m_cmdExport);
  outer->addLayout(choices);

  m_lblCursor = new QLabel;
  m_lblCursor->setObjectName(QStringLiteral("lblCursor"));
  m_lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outer->addWidget(m_lblCursor);

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
  outer->addLayout(bottom);

  connect(m_lstRuns, &QListWidget::currentRowChanged, this, &LogWindow::showRun);
  m_cmdExport->setEnabled(false);
  m_cmdWholeFile->setEnabled(false);
}

void LogWindow::openFile(const QString &path) {
  if (m_worker)
    return;
  m_path = path;
  setWindowTitle(QStringLiteral("Log File - %1").arg(QFileInfo(path).fileName()));
  m_lblStatus->setText(QStringLiteral("Reading %1").arg(QDir::toNativeSeparators(path)));
  m_log.reset();
  m_result = std::make_shared<logging::LogFile>();
  startWorker([result = m_result, path](const logging::LogProgress &progress) {
    *result = logging::readLogFile(path, progress);
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
  if (!result->ok) {
    m_lblStatus->setText(result->cancelled ? QStringLiteral("Reading cancelled") : result->error);
    if (!result->cancelled)
      showMessage(result->error);
    emit fileRead(false);
    close();
    return;
  }
  m_log = std::make_unique<logging::LogFile>(std::move(*result));

  m_byTime.resize(m_log->records.size());
  for (size_t i = 0; i < m_byTime.size(); ++i)
    m_byTime[i] = qsizetype(i);
  std::stable_sort(m_byTime.begin(), m_byTime.end(), [this](qsizetype a, qsizetype b) {
    return m_log->records[size_t(a)].wallSeconds < m_log->records[size_t(b)].wallSeconds;
  });

  QString status = QStringLiteral("%1: %2 run(s), %3 record(s)")
                       .arg(QDir::toNativeSeparators(m_path))
                       .arg(m_log->runs.size())
                       .arg(m_log->records.size());
  if (m_log->damagedLines > 0)
    status += QStringLiteral("; %1 damaged line(s) skipped, the first at line %2")
                  .arg(m_log->damagedLines)
                  .arg(m_log->firstDamagedLine);
  m_lblStatus->setText(status);

  m_lstRuns->clear();
  for (int i = 0; i < m_log->runs.size(); ++i)
    m_lstRuns->addItem(runTitle(i));
  m_cmdExport->setEnabled(true);
  m_cmdWholeFile->setEnabled(true);
  replot();
  m_chart->xAxis->rescale();
  m_chart->replot();
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
      .arg(r.recordCount);
}

void LogWindow::replot() {
  if (!m_log)
    return;
  const bool corrected = m_chkPhCorr->isChecked();
  const bool offsets = m_chkThermOffset->isChecked();
  bool axisUsed[AxisCount] = {};
  for (int i = 0; i < kSeriesCount; ++i) {
    QCPGraph *g = m_chart->graph(i);
    const bool shown = m_columns[i]->isChecked();
    g->setVisible(shown);
    if (!shown) {
      g->removeFromLegend();
      g->data()->clear();
      continue;
    }
    g->addToLegend();
    axisUsed[kSeries[i].axis] = true;
    const bool adjust =
        kSeries[i].adjustment >= 0 && ((isPh(i) && corrected) || (isTemperature(i) && offsets));
    QVector<QCPGraphData> points;
    points.reserve(qsizetype(m_log->records.size()) + m_log->runs.size());
    int run = 0;
    for (const logging::LogRecord &r : m_log->records) {
      // A gap between runs: the line does not join them.
      if (r.run != run && !points.isEmpty())
        points.append(QCPGraphData(points.last().key, qQNaN()));
      run = r.run;
      double value = r.values[kSeries[i].column];
      if (adjust)
        value += r.values[kSeries[i].adjustment];
      points.append(QCPGraphData(double(r.wallSeconds), value));
    }
    const bool sorted =
        std::is_sorted(points.begin(), points.end(), qcpLessThanSortKey<QCPGraphData>);
    g->data()->set(points, sorted);
  }
  for (int a = 0; a < AxisCount; ++a) {
    QCPAxis *axis = m_axes[a];
    axis->setVisible(axisUsed[a]);
    if (!axisUsed[a])
      continue;
    axis->rescale();
    const QCPRange r = axis->range();
    const double margin = r.size() > 0 ? r.size() * 0.05 : 0.5;
    axis->setRange(r.lower - margin, r.upper + margin);
  }
  m_chart->replot();
}

void LogWindow::showRun(int run) {
  if (!m_log || run < 0 || run >= m_log->runs.size()) {
    m_txtHeader->clear();
    return;
  }
  const logging::LogRun &r = m_log->runs[run];
  QStringList lines;
  lines << QStringLiteral("Run %1, header at line %2").arg(run + 1).arg(r.headerLine)
        << QStringLiteral("Date: %1").arg(r.date.toString(Qt::ISODate))
        << QStringLiteral("Version: %1").arg(r.version)
        << QStringLiteral("Probe 1 Offset: %1").arg(r.probe1Offset)
        << QStringLiteral("Probe 2 Offset: %1").arg(r.probe2Offset)
        << QStringLiteral("Probe 1 Slope: %1").arg(r.probe1Slope)
        << QStringLiteral("Probe 2 Slope: %1").arg(r.probe2Slope)
        << QStringLiteral("Probe 1 Serial Number: %1").arg(r.probe1Serial)
        << QStringLiteral("Probe 2 Serial Number: %1").arg(r.probe2Serial)
        << QStringLiteral("Probe 1 Calibration Date: %1").arg(r.probe1CalDate)
        << QStringLiteral("Probe 2 Calibration Date: %1").arg(r.probe2CalDate)
        << QStringLiteral("Records: %1").arg(r.recordCount);
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
  if (!m_log || m_byTime.empty())
    return;
  const auto &records = m_log->records;
  auto it = std::lower_bound(m_byTime.begin(), m_byTime.end(), key, [&](qsizetype i, double k) {
    return double(records[size_t(i)].wallSeconds) < k;
  });
  if (it == m_byTime.end())
    --it;
  else if (it != m_byTime.begin() && key - double(records[size_t(*(it - 1))].wallSeconds) <
                                         double(records[size_t(*it)].wallSeconds) - key)
    --it;
  const logging::LogRecord &r = records[size_t(*it)];
  const bool corrected = m_chkPhCorr->isChecked();
  const bool offsets = m_chkThermOffset->isChecked();
  QStringList parts;
  parts << clockText(r.wallSeconds) << QStringLiteral("run %1").arg(r.run + 1);
  for (int i = 0; i < kSeriesCount; ++i) {
    if (!m_columns[i]->isChecked())
      continue;
    double value = r.values[kSeries[i].column];
    if (kSeries[i].adjustment >= 0 && ((isPh(i) && corrected) || (isTemperature(i) && offsets)))
      value += r.values[kSeries[i].adjustment];
    const QString shown =
        std::isnan(value) ? QStringLiteral("-")
                          : common::generalNumber(common::roundHalfEven(value, kSeries[i].places));
    parts << QString::fromUtf8(kSeries[i].caption) + QLatin1Char(' ') + shown;
  }
  m_lblCursor->setText(parts.join(QStringLiteral("   ")));
  m_cursor->point1->setCoords(double(r.wallSeconds), 0);
  m_cursor->point2->setCoords(double(r.wallSeconds), 1);
  m_cursor->setVisible(true);
  m_chart->replot(QCustomPlot::rpQueuedReplot);
}

void LogWindow::exportTable() {
  if (!m_log || m_worker)
    return;
  const QString suggested = QFileInfo(m_path).completeBaseName() + QStringLiteral(".xlsx");
  const QString path =
      m_services.askExportPath
          ? m_services.askExportPath(this, suggested)
          : QFileDialog::getSaveFileName(
                this, QStringLiteral("Export"), QFileInfo(m_path).dir().filePath(suggested),
                QStringLiteral("Excel workbook (*.xlsx);;CSV table (*.csv)"));
  if (path.isEmpty())
    return;
  // A week of records takes seconds as a workbook. The log is not changed while the thread
  // reads it: no other file is opened until the thread ends.
  auto error = std::make_shared<QString>();
  auto ok = std::make_shared<bool>(false);
  m_lblStatus->setText(QStringLiteral("Exporting to %1").arg(QDir::toNativeSeparators(path)));
  startWorker([log = m_log.get(), path, error, ok](const logging::LogProgress &progress) {
    *ok = logging::exportLog(*log, path, error.get(), progress);
  });
  connect(m_worker, &QThread::finished, this, [this, path, error, ok] {
    const bool cancelled = m_cancel->load();
    stopWorker();
    if (*ok) {
      m_lblStatus->setText(QStringLiteral("Exported %1 record(s) to %2")
                               .arg(m_log->records.size())
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

} // namespace history
