#include "history/run_overlay.h"

#include "history/log_chart.h"

#include "plot/chart_style.h"
#include "plot/graph_feed.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace history {

RunOverlay::RunOverlay(const logging::LogFile &log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(log) {
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
  row->addStretch();
  for (int r = 0; r < log.runs.size(); ++r)
    for (QComboBox *box : {m_cmbRunA, m_cmbRunB})
      box->addItem(QStringLiteral("Run %1 (%2)")
                       .arg(r + 1)
                       .arg(log.runs[r].date.toString(Qt::ISODate)));
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
void RunOverlay::fill(int which, int run, int series) {
  plot::GraphFeed *feed = m_feeds[size_t(which)];
  feed->series().clear();
  QCPGraph *graph = feed->graph();
  const LogSeries &s = kLogSeries[size_t(series)];
  const QColor colour = which == 0 ? s.colour() : s.colour().lighter(150);
  plot::styleTrace(graph, plot::tracePen(colour, which == 1));
  graph->setName(QStringLiteral("Run %1 %2").arg(run + 1).arg(QString::fromUtf8(s.caption)));
  if (run < 0 || run >= m_log.runs.size()) {
    feed->refresh();
    return;
  }
  const logging::LogRun &r = m_log.runs[run];
  const auto begin = m_log.records.begin() + r.firstRecord;
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
