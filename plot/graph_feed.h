#pragma once

#include "plot/decimated_series.h"

#include <qcustomplot.h>

#include <QObject>
#include <QPointer>

#include <cstdint>

namespace plot {

// Draws a DecimatedSeries on a QCustomPlot graph. The series holds the points; the graph's own
// data is only what the current view needs: before each redraw (once the layout has set the plot
// area's width) it is replaced by the series' points for the key axis' range and the plot area's
// width in pixels, and only when the range, the width or the series changed.
//
// Owned by the graph (its Qt parent), so it goes with it. Feed points through append() or through
// series() followed by refresh(); never by the graph's addData(), which the next refresh replaces.
class GraphFeed : public QObject {
  Q_OBJECT

public:
  explicit GraphFeed(QCPGraph *graph);

  QCPGraph *graph() const { return m_graph; }
  DecimatedSeries &series() { return m_series; }
  const DecimatedSeries &series() const { return m_series; }

  // Adds a point to the series and brings the graph's data up to date.
  void append(double key, double value);

  // Brings the graph's data up to date with the series and the view now; a few comparisons when
  // nothing changed.
  void refresh();

private:
  int columns() const;

  QPointer<QCPGraph> m_graph;
  DecimatedSeries m_series;
  QCPRange m_fedRange{0, 0};
  int m_fedColumns = -1;
  std::uint64_t m_fedRevision = 0;
};

} // namespace plot
