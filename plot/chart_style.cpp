#include "plot/chart_style.h"

namespace plot {

QPen tracePen(const QColor &colour, bool dashed) {
  QPen pen(colour, 1);
  if (dashed)
    pen.setDashPattern({6, 4});
  return pen;
}

void styleChart(QCustomPlot *chart) {
  chart->setBackground(chartBackground);
  chart->axisRect()->setBackground(chartBackground);
  chart->setNotAntialiasedElements(QCP::aePlottables | QCP::aeItems | QCP::aeGrid | QCP::aeSubGrid);
  chart->legend->setBrush(QColor(0, 0, 0, 200));
  chart->legend->setBorderPen(QPen(gridColour));
  chart->legend->setTextColor(axisColour);
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

void styleTrace(QCPGraph *graph, const QPen &pen) {
  graph->setPen(pen);
  graph->setAntialiased(false);
  graph->setAdaptiveSampling(false);
  graph->setLineStyle(QCPGraph::lsLine);
}

} // namespace plot
