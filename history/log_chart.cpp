#include "history/log_chart.h"

#include "plot/chart_style.h"
#include "plot/graph_feed.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace history {
namespace {

// Each value axis is labelled with the unit of the quantities drawn against it.
const state::Quantity kAxisQuantities[AxisCount] = {state::Quantity::Ph1, state::Quantity::Therm1,
                                                    state::Quantity::LitersPerMin,
                                                    state::Quantity::TotalLiters};

bool isPh(const LogSeries &s) { return s.axis == PhAxis; }

bool earlierMark(const AlarmMark *a, const AlarmMark *b) { return a->wallSeconds < b->wallSeconds; }
bool earlierThan(const AlarmMark *a, double key) { return double(a->wallSeconds) < key; }

// A raise is a solid line, a return a dashed one.
QPen markPen(bool raised, const QColor &colour) {
  return QPen(colour, raised ? 2 : 1, raised ? Qt::SolidLine : Qt::DashLine);
}
bool isTemperature(const LogSeries &s) { return s.axis == TemperatureAxis; }

} // namespace

// The alarm marks: a line across the axis rect for each raise and return in view, in its
// quantity's colour. One layerable draws them all, visiting only the marks in view and drawing
// one line a pixel column for each pen, so a journal of many thousand events still redraws fast.
class AlarmMarkLayer : public QCPLayerable {
public:
  explicit AlarmMarkLayer(QCustomPlot *plot) : QCPLayerable(plot) {}
  std::vector<const AlarmMark *> marks; // raises and returns, in order of time

protected:
  QRect clipRect() const override { return mParentPlot->axisRect()->rect(); }
  void applyDefaultAntialiasingHint(QCPPainter *painter) const override {
    painter->setAntialiasing(false);
  }
  void draw(QCPPainter *painter) override {
    const QCPAxis *x = mParentPlot->xAxis;
    const QRect rect = clipRect();
    int column = std::numeric_limits<int>::min();
    std::vector<QPen> drawnHere; // the pens drawn in this pixel column
    for (auto it = std::lower_bound(marks.begin(), marks.end(), x->range().lower, earlierThan);
         it != marks.end() && double((*it)->wallSeconds) <= x->range().upper; ++it) {
      const int px = int(std::lround(x->coordToPixel(double((*it)->wallSeconds))));
      if (px != column)
        column = px, drawnHere.clear();
      const QPen pen = markPen((*it)->event == QLatin1String("raised"), (*it)->colour());
      if (std::find(drawnHere.begin(), drawnHere.end(), pen) != drawnHere.end())
        continue;
      drawnHere.push_back(pen);
      painter->setPen(pen);
      painter->drawLine(QLineF(px, rect.top(), px, rect.bottom()));
    }
  }
};

using state::Quantity;

const std::array<LogSeries, kLogSeriesCount> kLogSeries = {{
    {"chkPh1", "pH1", Quantity::Ph1, PhAxis, true, true},
    {"chkPh2", "pH2", Quantity::Ph2, PhAxis, false, true},
    {"chkTherm1", "Therm1", Quantity::Therm1, TemperatureAxis, false, false},
    {"chkTherm2", "Therm2", Quantity::Therm2, TemperatureAxis, false, false},
    {"chkTherm3", "Therm3", Quantity::Therm3, TemperatureAxis, false, false},
    {"chkFlow", "Flow (L/min)", Quantity::LitersPerMin, FlowAxis, false, false},
    {"chkTotal", "Total (L)", Quantity::TotalLiters, TotalAxis, false, false},
}};

LogChart::LogChart(QWidget *parent) : QCustomPlot(parent) {
  setObjectName(QStringLiteral("chtLog"));
  setMinimumSize(500, 300);
  plot::styleChart(this);
  buildAxes();
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  axisRect()->setRangeDrag(Qt::Horizontal);
  axisRect()->setRangeZoom(Qt::Horizontal);
  legend->setVisible(true);
  axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
  for (int i = 0; i < kLogSeriesCount; ++i) {
    const LogSeries &s = kLogSeries[size_t(i)];
    QCPGraph *g = addGraph(xAxis, m_axes[s.axis]);
    g->setName(QString::fromUtf8(s.caption));
    plot::styleTrace(g, plot::tracePen(s.colour(), s.dashed));
    m_feeds[size_t(i)] = new plot::GraphFeed(g);
  }
  m_filled.fill(-1);
  m_cursor = new QCPItemStraightLine(this);
  m_cursor->setPen(QPen(plot::axisColour, 1, Qt::DashLine));
  m_cursor->setVisible(false);
  m_markLayer = new AlarmMarkLayer(this);
  for (int i = 0; i < 2; ++i) {
    const bool raised = i == 0;
    m_markLegend[size_t(i)] = addGraph(xAxis, yAxis);
    m_markLegend[size_t(i)]->setName(raised ? QStringLiteral("Alarm raised")
                                            : QStringLiteral("Alarm returned"));
    m_markLegend[size_t(i)]->setPen(markPen(raised, plot::axisColour));
    m_markLegend[size_t(i)]->removeFromLegend();
  }
}

void LogChart::buildAxes() {
  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  // The x values are the file's own wall-clock seconds: shown as UTC they read as written.
  ticker->setDateTimeSpec(Qt::UTC);
  ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm:ss"));
  xAxis->setTicker(ticker);
  plot::styleAxis(xAxis, QStringLiteral("XAxis"), QString());
  m_axes = {yAxis, yAxis2, axisRect()->addAxis(QCPAxis::atRight),
            axisRect()->addAxis(QCPAxis::atRight)};
  for (int a = 0; a < AxisCount; ++a)
    plot::styleAxis(m_axes[size_t(a)], QString(),
                    QString::fromUtf8(state::info(kAxisQuantities[a]).unit));
}

void LogChart::setLog(const logging::LogFile *log) {
  m_log = log;
  m_filled.fill(-1);
  for (plot::GraphFeed *feed : m_feeds) {
    feed->series().clear();
    feed->refresh();
  }
  m_byTime.clear();
  if (!log)
    return;
  m_byTime.resize(log->records.size());
  for (size_t i = 0; i < m_byTime.size(); ++i)
    m_byTime[i] = qsizetype(i);
  const auto earlier = [log](qsizetype a, qsizetype b) {
    return log->records[size_t(a)].wallSeconds < log->records[size_t(b)].wallSeconds;
  };
  if (!std::is_sorted(m_byTime.begin(), m_byTime.end(), earlier))
    std::stable_sort(m_byTime.begin(), m_byTime.end(), earlier);
}

namespace {

bool adjusted(const LogChartView &view, int series) {
  const LogSeries &s = kLogSeries[size_t(series)];
  return logging::kLogColumns[s.column()].correction >= 0 &&
         ((isPh(s) && view.phCorrected) || (isTemperature(s) && view.thermistorOffsets));
}

} // namespace

double LogChart::valueIn(const LogChartView &view, int series, const logging::LogRecord &record) {
  const logging::LogColumn column = kLogSeries[size_t(series)].column();
  double value = record.values[column];
  if (adjusted(view, series))
    value += record.values[size_t(logging::kLogColumns[column].correction)];
  return value;
}

void LogChart::fill(int series, bool withAdjustment) {
  std::vector<plot::DecimatedSeries::Point> points;
  points.reserve(m_byTime.size() + size_t(m_log->runs.size()));
  int run = -1;
  for (const qsizetype index : m_byTime) {
    const logging::LogRecord &r = m_log->records[size_t(index)];
    // A gap between runs: the line does not join them.
    if (r.run != run && run >= 0)
      points.push_back({points.back().key, std::numeric_limits<double>::quiet_NaN()});
    run = r.run;
    points.push_back({double(r.wallSeconds), valueOf(series, r)});
  }
  plot::DecimatedSeries &drawn = m_feeds[size_t(series)]->series();
  drawn.clear();
  drawn.append(points);
  m_filled[size_t(series)] = withAdjustment ? 1 : 0;
}

void LogChart::showSeries(const LogChartView &view) {
  m_view = view;
  std::array<bool, AxisCount> used{};
  for (int i = 0; i < kLogSeriesCount; ++i) {
    QCPGraph *g = m_feeds[size_t(i)]->graph();
    const bool shown = m_log && view.shown[size_t(i)];
    g->setVisible(shown);
    if (!shown) {
      g->removeFromLegend();
      m_feeds[size_t(i)]->series().clear();
      m_filled[size_t(i)] = -1;
      continue;
    }
    g->addToLegend();
    used[kLogSeries[size_t(i)].axis] = true;
    const int wanted = adjusted(m_view, i) ? 1 : 0;
    if (m_filled[size_t(i)] != wanted)
      fill(i, wanted == 1);
  }
  showMarkLegend(); // after the series'
  fitValueAxes(used);
  replot();
}

void LogChart::fitValueAxes(const std::array<bool, AxisCount> &used) {
  for (int a = 0; a < AxisCount; ++a) {
    QCPAxis *axis = m_axes[size_t(a)];
    axis->setVisible(used[size_t(a)]);
    if (!used[size_t(a)])
      continue;
    double low = qInf(), high = -qInf();
    for (int i = 0; i < kLogSeriesCount; ++i) {
      if (kLogSeries[size_t(i)].axis != a || !m_feeds[size_t(i)]->graph()->visible())
        continue;
      // On one column the series gives its lowest and highest value among a handful of points.
      for (const QCPGraphData &p : m_feeds[size_t(i)]->series().visiblePoints(-qInf(), qInf(), 1))
        if (std::isfinite(p.value))
          low = std::min(low, p.value), high = std::max(high, p.value);
    }
    if (low > high)
      continue; // nothing but gaps: the axis stays as it was
    const double margin = high > low ? (high - low) * 0.05 : 0.5;
    axis->setRange(low - margin, high + margin);
  }
}

const logging::LogRecord *LogChart::nearestRecord(double key) const {
  if (!m_log || m_byTime.empty())
    return nullptr;
  const auto &records = m_log->records;
  const auto keyAt = [&](qsizetype i) { return double(records[size_t(i)].wallSeconds); };
  auto it = std::lower_bound(m_byTime.begin(), m_byTime.end(), key,
                             [&](qsizetype i, double k) { return keyAt(i) < k; });
  if (it == m_byTime.end())
    --it;
  else if (it != m_byTime.begin() && key - keyAt(*(it - 1)) < keyAt(*it) - key)
    --it;
  return &records[size_t(*it)];
}

void LogChart::showWholeFile() {
  if (!m_log || m_byTime.empty())
    return;
  const double first = double(m_log->records[size_t(m_byTime.front())].wallSeconds);
  const double last = double(m_log->records[size_t(m_byTime.back())].wallSeconds);
  if (last > first) {
    xAxis->setRange(first, last);
  } else { // one moment: keep the width shown, centred on it
    const double half = xAxis->range().size() / 2;
    xAxis->setRange(first - half, first + half);
  }
}

void LogChart::placeCursor(double key) {
  m_cursor->point1->setCoords(key, 0);
  m_cursor->point2->setCoords(key, 1);
  m_cursor->setVisible(true);
  replot(QCustomPlot::rpQueuedReplot);
}

void LogChart::setAlarmMarks(const std::vector<AlarmMark> &marks) {
  std::vector<const AlarmMark *> &drawn = m_markLayer->marks;
  drawn.clear();
  for (const AlarmMark &mark : marks)
    if (mark.event == QLatin1String("raised") || mark.event == QLatin1String("returned"))
      drawn.push_back(&mark);
  std::stable_sort(drawn.begin(), drawn.end(), earlierMark);
  showMarkLegend();
  replot();
}

void LogChart::showMarkLegend() {
  for (QCPGraph *entry : m_markLegend) {
    entry->removeFromLegend();
    if (!m_markLayer->marks.empty())
      entry->addToLegend();
  }
}

std::vector<const AlarmMark *> LogChart::marksNear(double key, double pixels) const {
  std::vector<const AlarmMark *> near;
  const double x = xAxis->coordToPixel(key);
  const double reach = pixels * xAxis->range().size() / std::max(1, axisRect()->width());
  const auto &drawn = m_markLayer->marks;
  for (auto it = std::lower_bound(drawn.begin(), drawn.end(), key - reach, earlierThan);
       it != drawn.end() && double((*it)->wallSeconds) <= key + reach; ++it)
    if (std::abs(xAxis->coordToPixel(double((*it)->wallSeconds)) - x) <= pixels)
      near.push_back(*it);
  return near;
}

} // namespace history
