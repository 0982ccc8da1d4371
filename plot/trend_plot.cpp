#include "plot/trend_plot.h"

#include "common/number_text.h"
#include "plot/trend_graph.h"

#include <QAbstractButton>
#include <QTimer>

namespace plot {

TrendPlot::TrendPlot(const AcquisitionState &state, TrendGraph *graph, QTimer *tmrPlot,
                     QAbstractButton *chkpH1, QAbstractButton *chkpH2, Clock clock, QObject *parent)
    : QObject(parent), m_state(state), m_graph(graph), m_timer(tmrPlot), m_chkpH1(chkpH1),
      m_chkpH2(chkpH2), m_clock(std::move(clock)) {
  Q_ASSERT(m_graph && m_timer && m_chkpH1 && m_chkpH2 && m_clock);
  m_timer->setInterval(1000);
  connect(m_timer, &QTimer::timeout, this, &TrendPlot::plotTick);
  connect(m_graph, &TrendGraph::cursorMoved, this, &TrendPlot::onCursorMoved);
}

void TrendPlot::plotTick() {
  // Trace 2 first, then trace 1; each is its probe's corrected pH as the record holds it now.
  for (const int trace : {2, 1}) {
    const state::ProbeInfo &probe = state::probe(trace);
    if (m_state.*probe.plotted)
      m_graph->appendPoint(trace, TrendGraph::keyOf(m_clock()),
                           state::corrected(state::info(probe.pHQuantity),
                                            m_state.*probe.value, m_state));
  }
}

void TrendPlot::setPlotting(bool on) {
  if (on) {
    m_timer->start();
    m_chkpH1->setEnabled(false);
    m_chkpH2->setEnabled(false);
  } else {
    m_timer->stop();
    m_chkpH2->setEnabled(true);
    m_chkpH1->setEnabled(true);
  }
}

void TrendPlot::setGraphMode(int position) {
  if (position < 1 || position > 3)
    return;
  if (position == 1) {
    m_graph->setCursorVisible(1, false);
    m_graph->setCursorVisible(2, false);
    m_graph->setInteraction(TrendGraph::Interaction::Pan);
    return;
  }
  const QCPRange x = m_graph->xAxis->range();
  const QCPRange y = m_graph->yAxis->range();
  const double centreX = (x.upper + x.lower) / 2;
  const double centreY = (y.upper + y.lower) / 2;
  m_graph->setInteraction(TrendGraph::Interaction::Cursors);
  m_graph->setCursorVisible(1, true);
  if (position == 2) {
    m_graph->setCursorVisible(2, false);
    m_graph->placeCursor(1, centreX, centreY);
    onCursorMoved(1, centreX, centreY);
  } else {
    m_graph->setCursorVisible(2, true);
    m_graph->placeCursor(2, centreX, centreY);
  }
}

void TrendPlot::setPhAxisRange(double min, double max) {
  m_graph->yAxis->setRange(min, max);
  m_graph->yAxis2->setRange(min, max);
  m_graph->replot(QCustomPlot::rpQueuedReplot);
}

QString TrendPlot::cursorXText(double x) {
  return QStringLiteral("X:  ") + TrendGraph::timeOf(x).toString(QStringLiteral("hh:mm:ss"));
}

QString TrendPlot::cursorYText(double y, const QLocale &locale) {
  // Adding 0.0 turns a rounded -0 into 0, so a cursor just below zero does not read "-0".
  const double rounded = common::roundHalfEven(y, 4) + 0.0;
  QLocale plain(locale);
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  QString text = plain.toString(rounded, 'f', 4);
  const QString decimalPoint = plain.decimalPoint();
  const QString zero = plain.zeroDigit();
  if (text.contains(decimalPoint)) {
    while (text.endsWith(zero))
      text.chop(zero.size());
    if (text.endsWith(decimalPoint))
      text.chop(decimalPoint.size());
  }
  return QStringLiteral("Y:  ") + text;
}

void TrendPlot::onCursorMoved(int cursor, double /*x*/, double y) {
  if (cursor != 1)
    return;
  emit cursorReadout(cursorXText(m_graph->cursorPosition(1).x()), cursorYText(y));
}

} // namespace plot
