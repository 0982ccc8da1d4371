#include "plot/graph_feed.h"

namespace plot {

GraphFeed::GraphFeed(QCPGraph *graph) : QObject(graph), m_graph(graph) {
  Q_ASSERT(graph && graph->parentPlot() && graph->keyAxis());
  connect(graph->parentPlot(), &QCustomPlot::afterLayout, this, &GraphFeed::refresh);
}

void GraphFeed::append(double key, double value) {
  m_series.append(key, value);
  refresh();
}

int GraphFeed::columns() const {
  const QCPAxis *keyAxis = m_graph->keyAxis();
  const int width = keyAxis->orientation() == Qt::Horizontal ? keyAxis->axisRect()->width()
                                                             : keyAxis->axisRect()->height();
  // Before the first layout the plot area has no size yet: the widget's is an upper bound.
  return width > 0 ? width : qMax(1, m_graph->parentPlot()->width());
}

void GraphFeed::refresh() {
  if (!m_graph || !m_graph->keyAxis())
    return;
  const QCPRange range = m_graph->keyAxis()->range();
  const int width = columns();
  if (m_fedColumns == width && m_fedRange == range && m_fedRevision == m_series.revision())
    return;
  m_graph->data()->set(m_series.visiblePoints(range.lower, range.upper, width), true);
  m_fedRange = range;
  m_fedColumns = width;
  m_fedRevision = m_series.revision();
}

} // namespace plot
