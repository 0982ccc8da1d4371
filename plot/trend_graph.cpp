#include "plot/trend_graph.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plot {
namespace {

const QColor backgroundColour(Qt::black);
const QColor axisColour(210, 210, 210);
const QColor gridColour(70, 70, 70);
const QColor cursor1Colour(Qt::yellow);
const QColor cursor2Colour(Qt::cyan);

double clampToRange(double value, const QCPRange &range) {
  return std::clamp(value, std::min(range.lower, range.upper), std::max(range.lower, range.upper));
}

void styleAxis(QCPAxis *axis, const QString &name, const QString &caption) {
  axis->setObjectName(name);
  axis->setLabel(caption);
  axis->setVisible(true);
  axis->setBasePen(QPen(axisColour));
  axis->setTickPen(QPen(axisColour));
  axis->setSubTickPen(QPen(axisColour));
  axis->setTickLabelColor(axisColour);
  axis->setLabelColor(axisColour);
  axis->grid()->setPen(QPen(gridColour, 0, Qt::DotLine));
}

QCPGraph *makeTrace(QCustomPlot *plot, QCPAxis *valueAxis, const QString &name,
                    const QColor &colour) {
  QCPGraph *graph = plot->addGraph(plot->xAxis, valueAxis);
  graph->setName(name);
  graph->setObjectName(name);
  // A wider or antialiased pen makes a long trend orders of magnitude slower to draw without
  // OpenGL; adaptive sampling keeps a zoomed-out week of points cheap.
  graph->setPen(QPen(colour, 1));
  graph->setAntialiased(false);
  graph->setAdaptiveSampling(true);
  graph->setLineStyle(QCPGraph::lsLine);
  return graph;
}

QCPItemTracer *makeCursor(QCustomPlot *plot, const QString &name, const QColor &colour) {
  auto *tracer = new QCPItemTracer(plot);
  tracer->setObjectName(name);
  tracer->setStyle(QCPItemTracer::tsCrosshair);
  tracer->setPen(QPen(colour, 1, Qt::DashLine));
  tracer->setSelectable(false);
  tracer->position->setType(QCPItemPosition::ptPlotCoords);
  tracer->position->setAxes(plot->xAxis, plot->yAxis);
  tracer->setVisible(false);
  return tracer;
}

} // namespace

TrendGraph::TrendGraph(const QDateTime &now, QWidget *parent) : QCustomPlot(parent) {
  setObjectName(QStringLiteral("CWGraph1"));
  setAccessibleName(QStringLiteral("pH Probe"));
  setBackground(backgroundColour);
  axisRect()->setBackground(backgroundColour);
  setNotAntialiasedElements(QCP::aePlottables | QCP::aeItems | QCP::aeGrid | QCP::aeSubGrid);

  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
  ticker->setDateTimeSpec(Qt::LocalTime);
  xAxis->setTicker(ticker);
  styleAxis(xAxis, QStringLiteral("XAxis"), QString());
  styleAxis(yAxis, QStringLiteral("YAxis-1"), QStringLiteral("pH "));
  styleAxis(yAxis2, QStringLiteral("YAxis-2"), QStringLiteral("pH 2"));
  yAxis2->setTickLabels(true);
  xAxis2->setVisible(false);

  const double end = keyOf(now);
  xAxis->setRange(end - initialWindowSeconds, end);
  yAxis->setRange(0, 15);
  yAxis2->setRange(0, 15);

  m_traces[0] = makeTrace(this, yAxis, QStringLiteral("Plot-1"), trace1Colour);
  m_traces[1] = makeTrace(this, yAxis2, QStringLiteral("Plot-2"), trace2Colour);
  m_cursors[0] = makeCursor(this, QStringLiteral("Cursor-1"), cursor1Colour);
  m_cursors[1] = makeCursor(this, QStringLiteral("Cursor-2"), cursor2Colour);
  placeCursor(1, end - initialWindowSeconds / 2, 7.5);
  placeCursor(2, end - initialWindowSeconds / 2, 7.5);

  // Both pH axes move together so that the two traces stay comparable while panning.
  axisRect()->setRangeDragAxes({xAxis}, {yAxis, yAxis2});
  axisRect()->setRangeZoomAxes({xAxis}, {yAxis, yAxis2});
  setInteraction(Interaction::Pan);
}

double TrendGraph::keyOf(const QDateTime &time) { return time.toMSecsSinceEpoch() / 1000.0; }

QDateTime TrendGraph::timeOf(double key) {
  return QDateTime::fromMSecsSinceEpoch(std::llround(key * 1000.0));
}

QCPGraph *TrendGraph::trace(int number) const {
  return number == 1 || number == 2 ? m_traces[number - 1] : nullptr;
}

QCPItemTracer *TrendGraph::cursor(int number) const {
  return number == 1 || number == 2 ? m_cursors[number - 1] : nullptr;
}

std::optional<double> TrendGraph::newestKey() const {
  std::optional<double> newest;
  for (const QCPGraph *graph : m_traces) {
    if (graph->data()->isEmpty())
      continue;
    // The container is sorted by key, so its last point is the newest: no scan.
    const double key = (graph->data()->constEnd() - 1)->key;
    if (!newest || key > *newest)
      newest = key;
  }
  return newest;
}

void TrendGraph::appendPoint(int number, double key, double value) {
  QCPGraph *graph = trace(number);
  if (!graph)
    return;
  const QCPRange window = xAxis->range();
  const std::optional<double> newest = newestKey();
  const bool follow = !newest || window.contains(*newest);
  graph->addData(key, value);
  if (follow && !window.contains(key))
    xAxis->setRange(key - window.size(), key);
  replot(rpQueuedReplot);
}

void TrendGraph::setInteraction(Interaction mode) {
  m_interaction = mode;
  m_draggedCursor = 0;
  setInteractions(mode == Interaction::Pan ? QCP::iRangeDrag | QCP::iRangeZoom
                                           : QCP::Interactions());
}

void TrendGraph::setCursorVisible(int number, bool visible) {
  if (QCPItemTracer *tracer = cursor(number)) {
    tracer->setVisible(visible);
    if (!visible && m_draggedCursor == number)
      m_draggedCursor = 0;
    replot(rpQueuedReplot);
  }
}

bool TrendGraph::isCursorVisible(int number) const {
  const QCPItemTracer *tracer = cursor(number);
  return tracer && tracer->visible();
}

void TrendGraph::placeCursor(int number, double x, double y) {
  if (QCPItemTracer *tracer = cursor(number)) {
    tracer->position->setCoords(x, y);
    replot(rpQueuedReplot);
  }
}

QPointF TrendGraph::cursorPosition(int number) const {
  const QCPItemTracer *tracer = cursor(number);
  return tracer ? tracer->position->coords() : QPointF();
}

int TrendGraph::visibleCursorNearest(const QPointF &pixel) const {
  int nearest = 0;
  double best = std::numeric_limits<double>::infinity();
  for (int number = 1; number <= 2; ++number) {
    if (!isCursorVisible(number))
      continue;
    const QPointF d = cursor(number)->position->pixelPosition() - pixel;
    const double distance = std::hypot(d.x(), d.y());
    if (distance < best) {
      best = distance;
      nearest = number;
    }
  }
  return nearest;
}

void TrendGraph::dragCursorTo(const QPointF &pixel) {
  // A cursor dragged past the edge stops at the edge of the visible area.
  const double x = clampToRange(xAxis->pixelToCoord(pixel.x()), xAxis->range());
  const double y = clampToRange(yAxis->pixelToCoord(pixel.y()), yAxis->range());
  placeCursor(m_draggedCursor, x, y);
  emit cursorMoved(m_draggedCursor, x, y);
}

void TrendGraph::mousePressEvent(QMouseEvent *event) {
  QCustomPlot::mousePressEvent(event);
  if (m_interaction != Interaction::Cursors || event->button() != Qt::LeftButton)
    return;
  if (!axisRect()->rect().contains(event->position().toPoint()))
    return;
  m_draggedCursor = visibleCursorNearest(event->position());
  if (m_draggedCursor != 0)
    dragCursorTo(event->position());
}

void TrendGraph::mouseMoveEvent(QMouseEvent *event) {
  QCustomPlot::mouseMoveEvent(event);
  if (m_draggedCursor != 0 && (event->buttons() & Qt::LeftButton))
    dragCursorTo(event->position());
}

void TrendGraph::mouseReleaseEvent(QMouseEvent *event) {
  QCustomPlot::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton)
    m_draggedCursor = 0;
}

} // namespace plot
