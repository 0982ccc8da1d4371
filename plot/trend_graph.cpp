#include "plot/trend_graph.h"

#include "plot/graph_feed.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace plot {
namespace {

const QColor cursor1Colour(Qt::yellow);
const QColor cursor2Colour(Qt::cyan);
const QColor notFollowingColour(255, 176, 0);

const QString trace1Layer = QStringLiteral("trace1");

// Widths of the span chooser's entries, in seconds; the whole run has none.
constexpr std::array<double, 5> spanSeconds = {60, 600, 3600, 8 * 3600, 24 * 3600};

// Room above the plot area for the span chooser and the "Follow" button.
constexpr int overlayMargin = 3;

// A legend entry with a caption of its own (the traces keep their layout names) and a sample of
// the trace's pen, dashes included.
class TraceLegendItem : public QCPAbstractLegendItem {
public:
  TraceLegendItem(QCPLegend *legend, const QCPGraph *graph, const QString &caption)
      : QCPAbstractLegendItem(legend), m_graph(graph), m_caption(caption) {}

protected:
  void draw(QCPPainter *painter) override {
    const QSize icon = mParentLegend->iconSize();
    const QRect iconRect(mRect.topLeft(), icon);
    painter->setPen(m_graph->pen());
    const double y = iconRect.top() + icon.height() / 2.0;
    painter->drawLine(QLineF(iconRect.left(), y, iconRect.right(), y));
    painter->setFont(mFont);
    painter->setPen(QPen(mTextColor));
    const int textLeft = iconRect.right() + 1 + mParentLegend->iconTextPadding();
    painter->drawText(QRect(textLeft, mRect.top(), mRect.right() - textLeft + 1, mRect.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, m_caption);
  }

  QSize minimumOuterSizeHint() const override {
    const QFontMetrics metrics(mFont);
    const QSize icon = mParentLegend->iconSize();
    return QSize(icon.width() + mParentLegend->iconTextPadding() +
                     metrics.horizontalAdvance(m_caption) + mMargins.left() + mMargins.right(),
                 qMax(metrics.height(), icon.height()) + mMargins.top() + mMargins.bottom());
  }

private:
  const QCPGraph *m_graph;
  QString m_caption;
};

double clampToRange(double value, const QCPRange &range) {
  return std::clamp(value, std::min(range.lower, range.upper), std::max(range.lower, range.upper));
}

QCPGraph *makeTrace(QCustomPlot *plot, QCPAxis *valueAxis, const QString &name,
                    const QColor &colour, bool dashed) {
  QCPGraph *graph = plot->addGraph(plot->xAxis, valueAxis);
  graph->setName(name);
  graph->setObjectName(name);
  styleTrace(graph, tracePen(colour, dashed));
  return graph;
}

QCPItemTracer *makeCursor(QCustomPlot *plot, const QString &name, const QColor &colour) {
  auto *tracer = new QCPItemTracer(plot);
  tracer->setLayer(trace1Layer); // above both traces
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
  setAccessibleName(QStringLiteral("pH Probe"));
  styleChart(this);

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

  setAutoAddPlottableToLegend(false);
  m_traces[0] = makeTrace(this, yAxis, QStringLiteral("Plot-1"), trace1Colour, true);
  m_traces[1] = makeTrace(this, yAxis2, QStringLiteral("Plot-2"), trace2Colour, false);
  // Trace 1 is drawn over trace 2.
  addLayer(trace1Layer, layer(QStringLiteral("main")), limAbove);
  m_traces[0]->setLayer(trace1Layer);
  for (int i = 0; i < 2; ++i)
    m_feeds[i] = new GraphFeed(m_traces[i]);

  legend->setVisible(true);
  legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
  legend->setIconSize(24, 8);
  legend->addElement(new TraceLegendItem(legend, m_traces[0], QStringLiteral("pH1")));
  legend->addElement(new TraceLegendItem(legend, m_traces[1], QStringLiteral("pH2")));
  axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);

  m_cursors[0] = makeCursor(this, QStringLiteral("Cursor-1"), cursor1Colour);
  m_cursors[1] = makeCursor(this, QStringLiteral("Cursor-2"), cursor2Colour);
  placeCursor(1, end - initialWindowSeconds / 2, 7.5);
  placeCursor(2, end - initialWindowSeconds / 2, 7.5);

  // Both pH axes move together so that the two traces stay comparable while panning.
  axisRect()->setRangeDragAxes({xAxis}, {yAxis, yAxis2});
  axisRect()->setRangeZoomAxes({xAxis}, {yAxis, yAxis2});
  axisRect()->setRangeZoom(Qt::Horizontal);
  setInteraction(Interaction::Pan);

  buildOverlay();

  m_lastXRange = xAxis->range();
  connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
          &TrendGraph::onXRangeChanged);
  connect(m_span, &QComboBox::currentIndexChanged, this, &TrendGraph::onSpanChosen);
  connect(m_follow, &QToolButton::toggled, this, &TrendGraph::onFollowToggled);
}

void TrendGraph::buildOverlay() {
  m_spanCaption = new QLabel(QStringLiteral("Span"), this);
  m_spanCaption->setObjectName(QStringLiteral("lblSpan"));
  QPalette captionPalette = m_spanCaption->palette();
  captionPalette.setColor(QPalette::WindowText, axisColour);
  m_spanCaption->setPalette(captionPalette);
  m_span = new QComboBox(this);
  m_span->setObjectName(QStringLiteral("cmbSpan"));
  m_span->addItems({QStringLiteral("1 min"), QStringLiteral("10 min"), QStringLiteral("1 h"),
                    QStringLiteral("8 h"), QStringLiteral("24 h"), QStringLiteral("Whole run")});
  m_span->setPlaceholderText(QStringLiteral("Zoomed"));
  m_span->setCurrentIndex(OneMinute);
  m_span->setToolTip(QStringLiteral("Time shown by the chart, ending at the newest point"));
  m_spanCaption->setBuddy(m_span);
  m_follow = new QToolButton(this);
  m_follow->setObjectName(QStringLiteral("cmdFollow"));
  m_follow->setText(QStringLiteral("Follow"));
  m_follow->setCheckable(true);
  m_follow->setToolTip(QStringLiteral("The newest point is out of view: show it and follow it"));
  m_follow->setStyleSheet(QStringLiteral("QToolButton { background: %1; color: black; "
                                         "font-weight: bold; border: none; padding: 1px 8px; }")
                              .arg(notFollowingColour.name()));
  m_follow->hide();
  axisRect()->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msBottom);
  // The top tick labels of the pH axes stand half their height above the plot area.
  axisRect()->setMargins(QMargins(0,
                                  m_span->sizeHint().height() + 2 * overlayMargin +
                                      QFontMetrics(yAxis2->tickLabelFont()).height() / 2,
                                  0, 0));
  placeOverlay();
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

const DecimatedSeries *TrendGraph::history(int number) const {
  return number == 1 || number == 2 ? &m_feeds[number - 1]->series() : nullptr;
}

GraphFeed *TrendGraph::feed(int number) const {
  return number == 1 || number == 2 ? m_feeds[number - 1] : nullptr;
}

std::optional<double> TrendGraph::newestKey() const {
  std::optional<double> newest;
  for (const GraphFeed *feed : m_feeds) {
    const DecimatedSeries &series = feed->series();
    if (series.isEmpty())
      continue;
    const double key = series.at(series.size() - 1).key; // sorted: the last is the newest
    if (!newest || key > *newest)
      newest = key;
  }
  return newest;
}

std::optional<double> TrendGraph::oldestKey() const {
  std::optional<double> oldest;
  for (const GraphFeed *feed : m_feeds) {
    if (feed->series().isEmpty())
      continue;
    const double key = feed->series().at(0).key;
    if (!oldest || key < *oldest)
      oldest = key;
  }
  return oldest;
}

bool TrendGraph::isFollowing() const {
  const std::optional<double> newest = newestKey();
  return !newest || xAxis->range().contains(*newest);
}

int TrendGraph::span() const { return m_span->currentIndex(); }

void TrendGraph::setSpan(int span) { m_span->setCurrentIndex(span); }

QCPRange TrendGraph::followingRange() const {
  const std::optional<double> newest = newestKey();
  const QCPRange now = xAxis->range();
  const double end = newest ? *newest : now.upper;
  const int chosen = span();
  if (chosen == WholeRun) {
    const std::optional<double> oldest = oldestKey();
    return QCPRange(oldest ? std::min(*oldest, end - initialWindowSeconds) : end - now.size(), end);
  }
  const double width =
      chosen >= 0 && chosen < int(spanSeconds.size()) ? spanSeconds[chosen] : now.size();
  return QCPRange(end - width, end);
}

void TrendGraph::setOwnXRange(const QCPRange &range) {
  m_ownXRangeChange = true;
  xAxis->setRange(range);
  m_ownXRangeChange = false;
}

void TrendGraph::follow() {
  setOwnXRange(followingRange());
  replot(rpQueuedReplot);
}

void TrendGraph::onXRangeChanged(const QCPRange &range) {
  // A width the operator chose (the wheel) is no longer the chosen span; a pan keeps it.
  if (!m_ownXRangeChange && std::abs(range.size() - m_lastXRange.size()) > 1e-3)
    m_span->setCurrentIndex(-1);
  m_lastXRange = range;
  updateFollowMark();
}

void TrendGraph::onSpanChosen(int index) {
  if (index >= 0)
    follow();
}

void TrendGraph::onFollowToggled(bool on) {
  if (on)
    follow();
  updateFollowMark();
}

void TrendGraph::updateFollowMark() {
  const bool following = isFollowing();
  if (following)
    m_follow->setChecked(false);
  m_follow->setVisible(!following);
}

void TrendGraph::placeOverlay() {
  const int height = m_span->sizeHint().height();
  int right = width() - overlayMargin;
  m_span->setGeometry(right - m_span->sizeHint().width(), overlayMargin, m_span->sizeHint().width(),
                      height);
  right = m_span->x() - overlayMargin;
  const int captionWidth = m_spanCaption->sizeHint().width();
  m_spanCaption->setGeometry(right - captionWidth, overlayMargin, captionWidth, height);
  right = m_spanCaption->x() - 4 * overlayMargin;
  const int followWidth = m_follow->sizeHint().width();
  m_follow->setGeometry(right - followWidth, overlayMargin, followWidth, height);
}

void TrendGraph::resizeEvent(QResizeEvent *event) {
  QCustomPlot::resizeEvent(event);
  placeOverlay();
}

void TrendGraph::wheelEvent(QWheelEvent *event) {
  axisRect()->setRangeZoom(event->modifiers() & Qt::ControlModifier ? Qt::Vertical
                                                                    : Qt::Horizontal);
  QCustomPlot::wheelEvent(event);
}

void TrendGraph::appendPoint(int number, double key, double value) {
  GraphFeed *target = feed(number);
  if (!target)
    return;
  const QCPRange window = xAxis->range();
  const bool following = isFollowing();
  target->series().append(key, value);
  if (following) {
    if (span() == WholeRun)
      setOwnXRange(followingRange());
    else if (!window.contains(key))
      setOwnXRange(QCPRange(key - window.size(), key));
  }
  // The other trace's feed catches up with a moved window before the redraw.
  target->refresh();
  updateFollowMark();
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
