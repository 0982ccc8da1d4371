#include "history/run_overlay.h"

#include "history/log_chart.h"

#include "plot/chart_style.h"
#include "plot/graph_feed.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QThread>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace history {

namespace {

// A thread that runs one function (see the log window's).
class ReadThread : public QThread {
public:
  explicit ReadThread(std::function<void()> work) : m_work(std::move(work)) {}

protected:
  void run() override { m_work(); }

private:
  std::function<void()> m_work;
};

} // namespace

RunOverlay::RunOverlay(const logging::LogFile &log, const QString &file,
                       std::function<void(const QString &)> tell, QWidget *parent)
    : QWidget(parent, Qt::Window), m_logs{&log}, m_tell(std::move(tell)) {
  setObjectName(QStringLiteral("frmRunOverlay"));
  setWindowTitle(QStringLiteral("Runs Side by Side"));
  resize(900, 520);
  auto *outer = new QVBoxLayout(this);
  auto *row = new QHBoxLayout;
  const auto combo = [&](const QString &caption, const char *name) {
    auto *label = new QLabel(caption);
    auto *box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    label->setBuddy(box);
    row->addWidget(label);
    row->addWidget(box);
    return box;
  };
  m_cmbRunA = combo(QStringLiteral("Run &A (solid)"), "cmbRunA");
  m_cmbRunB = combo(QStringLiteral("Run &B (dashed)"), "cmbRunB");
  m_cmbSeries = combo(QStringLiteral("&Series"), "cmbSeries");
  m_cmdAddFile = new QPushButton(QStringLiteral("Add &File…"));
  m_cmdAddFile->setObjectName(QStringLiteral("cmdAddFile"));
  connect(m_cmdAddFile, &QPushButton::clicked, this, [this] { addFile(QString()); });
  row->addWidget(m_cmdAddFile);
  row->addStretch();
  listRuns(0, file);
  for (const LogSeries &s : kLogSeries)
    m_cmbSeries->addItem(QString::fromUtf8(s.caption));
  outer->addLayout(row);

  m_chart = new QCustomPlot;
  m_chart->setObjectName(QStringLiteral("chtOverlay"));
  plot::styleChart(m_chart);
  plot::styleAxis(m_chart->xAxis, QString(), QStringLiteral("hours since the run's start"));
  m_chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  m_chart->axisRect()->setRangeDrag(Qt::Horizontal);
  m_chart->axisRect()->setRangeZoom(Qt::Horizontal);
  m_chart->legend->setVisible(true);
  for (size_t k = 0; k < m_feeds.size(); ++k)
    m_feeds[k] = new plot::GraphFeed(m_chart->addGraph());
  outer->addWidget(m_chart, 1);
  for (QComboBox *box : {m_cmbRunA, m_cmbRunB, m_cmbSeries})
    connect(box, &QComboBox::currentIndexChanged, this, &RunOverlay::chosen);
}

RunOverlay::~RunOverlay() {
  if (m_reader) {
    m_reader->wait();
    delete m_reader;
  }
}

void RunOverlay::listRuns(int log, const QString &file) {
  const QString name = QFileInfo(file).fileName();
  for (int r = 0; r < m_logs[size_t(log)]->runs.size(); ++r) {
    m_entries.emplace_back(log, r);
    m_entryNames << QStringLiteral("%1 run %2").arg(name).arg(r + 1);
    for (QComboBox *box : {m_cmbRunA, m_cmbRunB})
      box->addItem(QStringLiteral("%1 run %2 (%3)")
                       .arg(name)
                       .arg(r + 1)
                       .arg(m_logs[size_t(log)]->runs[r].date.toString(Qt::ISODate)));
  }
}

void RunOverlay::addFile(const QString &path) {
  if (m_reader)
    return;
  m_readingPath = !path.isEmpty() ? path
                                  : QFileDialog::getOpenFileName(
                                        this, QStringLiteral("Add Log File"), QString(),
                                        QStringLiteral("Log files (*.csv *.log *.txt);;All files (*)"));
  if (m_readingPath.isEmpty())
    return;
  m_reading = std::make_shared<logging::LogFile>();
  m_cmdAddFile->setEnabled(false);
  m_reader = new ReadThread([result = m_reading, file = m_readingPath] {
    *result = logging::readLogFile(file);
  });
  connect(m_reader, &QThread::finished, this, &RunOverlay::addFileRead);
  m_reader->start();
}

void RunOverlay::addFileRead() {
  m_reader->wait();
  delete m_reader;
  m_reader = nullptr;
  m_cmdAddFile->setEnabled(true);
  const bool ok = m_reading->ok;
  if (ok) {
    m_added.push_back(std::make_unique<logging::LogFile>(std::move(*m_reading)));
    m_logs.push_back(m_added.back().get());
    const QSignalBlocker a(m_cmbRunA), b(m_cmbRunB);
    listRuns(int(m_logs.size()) - 1, m_readingPath);
  } else if (m_tell) {
    m_tell(m_reading->error);
  }
  m_reading.reset();
  emit fileAdded(ok);
}

void RunOverlay::showRuns(int runA, int runB, int series) {
  const QSignalBlocker a(m_cmbRunA), b(m_cmbRunB), s(m_cmbSeries);
  m_cmbRunA->setCurrentIndex(runA);
  m_cmbRunB->setCurrentIndex(runB);
  m_cmbSeries->setCurrentIndex(series);
  chosen();
}

void RunOverlay::chosen() {
  const int series = std::max(0, m_cmbSeries->currentIndex());
  fill(0, m_cmbRunA->currentIndex(), series);
  fill(1, m_cmbRunB->currentIndex(), series);
  const LogSeries &s = kLogSeries[size_t(series)];
  plot::styleAxis(m_chart->yAxis, QString(), QString::fromUtf8(state::info(s.quantity).unit));
  double low = qInf(), high = -qInf(), end = 0;
  for (plot::GraphFeed *feed : m_feeds) {
    const plot::DecimatedSeries &points = feed->series();
    if (points.isEmpty())
      continue;
    end = std::max(end, points.at(points.size() - 1).key);
    for (const QCPGraphData &p : points.visiblePoints(-qInf(), qInf(), 1))
      if (std::isfinite(p.value))
        low = std::min(low, p.value), high = std::max(high, p.value);
  }
  m_chart->xAxis->setRange(0, end > 0 ? end * 1.02 : 1);
  if (low <= high) {
    const double margin = high > low ? (high - low) * 0.05 : 0.5;
    m_chart->yAxis->setRange(low - margin, high + margin);
  }
  m_chart->replot();
}

// Each run's readings of the series (with the corrections and offsets, as the log window shows
// them by default) against the hours since its first record.
void RunOverlay::fill(int which, int entry, int series) {
  plot::GraphFeed *feed = m_feeds[size_t(which)];
  feed->series().clear();
  QCPGraph *graph = feed->graph();
  const LogSeries &s = kLogSeries[size_t(series)];
  const QColor colour = which == 0 ? s.colour() : s.colour().lighter(150);
  plot::styleTrace(graph, plot::tracePen(colour, which == 1));
  if (entry < 0 || entry >= int(m_entries.size())) {
    feed->refresh();
    return;
  }
  const auto [logIndex, run] = m_entries[size_t(entry)];
  const logging::LogFile &log = *m_logs[size_t(logIndex)];
  graph->setName(m_entryNames[entry] + QLatin1Char(' ') + QString::fromUtf8(s.caption));
  const logging::LogRun &r = log.runs[run];
  const auto begin = log.records.begin() + r.firstRecord;
  const auto end = begin + r.recordCount;
  if (begin == end) {
    feed->refresh();
    return;
  }
  const qint64 start = std::min_element(begin, end, [](const auto &x, const auto &y) {
                         return x.wallSeconds < y.wallSeconds;
                       })->wallSeconds;
  const logging::LogColumn column = s.column();
  const int correction = logging::kLogColumns[column].correction;
  std::vector<plot::DecimatedSeries::Point> points;
  points.reserve(size_t(r.recordCount));
  for (auto it = begin; it != end; ++it) {
    double value = it->values[column];
    if (correction >= 0)
      value += it->values[size_t(correction)];
    points.push_back({double(it->wallSeconds - start) / 3600.0, value});
  }
  feed->series().append(points);
  feed->refresh();
}

} // namespace history
