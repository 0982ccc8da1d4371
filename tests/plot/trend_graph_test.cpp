#include "plot/trend_graph.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using plot::TrendGraph;

const QDateTime start(QDate(2024, 3, 5), QTime(10, 0, 0));

double key(const QDateTime &t) { return TrendGraph::keyOf(t); }

QPoint pixelOf(const TrendGraph &graph, double x, double y) {
  return QPoint(qRound(graph.xAxis->coordToPixel(x)), qRound(graph.yAxis->coordToPixel(y)));
}

// A graph laid out at the size it has in the main window, so pixels map to coordinates.
struct ShownGraph {
  TrendGraph graph{start};
  ShownGraph() {
    graph.resize(900, 400);
    graph.show();
    graph.replot();
  }
};

TEST(TrendGraph, CarriesTheNamesCaptionsAndFastPensOfTheLayout) {
  TrendGraph graph(start);
  EXPECT_EQ(graph.objectName(), "CWGraph1");
  EXPECT_EQ(graph.xAxis->objectName(), "XAxis");
  EXPECT_EQ(graph.yAxis->objectName(), "YAxis-1");
  EXPECT_EQ(graph.yAxis2->objectName(), "YAxis-2");
  EXPECT_EQ(graph.yAxis->label(), "pH ");
  EXPECT_EQ(graph.yAxis2->label(), "pH 2");
  EXPECT_TRUE(graph.yAxis2->visible());
  for (QCPAxis *axis : {graph.yAxis, graph.yAxis2}) {
    EXPECT_EQ(axis->range().lower, 0);
    EXPECT_EQ(axis->range().upper, 15);
  }
  EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, key(start));
  EXPECT_DOUBLE_EQ(graph.xAxis->range().size(), TrendGraph::initialWindowSeconds);

  auto ticker = graph.xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
  ASSERT_TRUE(ticker);
  EXPECT_EQ(ticker->dateTimeFormat(), "hh:mm:ss");
  EXPECT_EQ(ticker->dateTimeSpec(), Qt::LocalTime);

  const struct {
    int number;
    const char *name;
    QCPAxis *valueAxis;
    QColor colour;
  } traces[] = {{1, "Plot-1", graph.yAxis, Qt::green}, {2, "Plot-2", graph.yAxis2, Qt::red}};
  for (const auto &t : traces) {
    SCOPED_TRACE(t.name);
    QCPGraph *trace = graph.findChild<QCPGraph *>(t.name);
    ASSERT_EQ(trace, graph.trace(t.number));
    EXPECT_EQ(trace->name(), t.name);
    EXPECT_EQ(trace->valueAxis(), t.valueAxis);
    EXPECT_EQ(trace->keyAxis(), graph.xAxis);
    EXPECT_EQ(trace->pen().color(), t.colour);
    EXPECT_LE(trace->pen().widthF(), 1.0);
    EXPECT_FALSE(trace->antialiased());
    EXPECT_TRUE(trace->adaptiveSampling());
  }
  for (const char *name : {"Cursor-1", "Cursor-2"}) {
    QCPItemTracer *cursor = graph.findChild<QCPItemTracer *>(name);
    ASSERT_NE(cursor, nullptr) << name;
    EXPECT_FALSE(cursor->visible()) << name;
  }
  EXPECT_EQ(graph.interaction(), TrendGraph::Interaction::Pan);
}

// Follows while the newest point was in view before the append; stays where the operator panned.
TEST(TrendGraph, XWindowFollowsTheNewestPointOnlyWhileItWasInView) {
  const double t0 = key(start);
  const struct {
    const char *name;
    double panTo; // new lower end of the 60 s window before the last append; NaN = no pan
    bool follows;
  } cases[] = {
      {"not panned", qQNaN(), true},
      {"panned back into the history", t0 - 600, false},
      {"panned so the newest point is still in view", t0 - 30, true},
      {"panned ahead past the newest point", t0 + 100, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TrendGraph graph(start.addSecs(-3600)); // the window laid out long before the first point
    graph.appendPoint(2, t0, 7);            // the first point always comes into view
    EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, t0);
    EXPECT_DOUBLE_EQ(graph.xAxis->range().size(), 60);
    if (!qIsNaN(c.panTo))
      graph.xAxis->setRange(c.panTo, c.panTo + 60);
    const QCPRange before = graph.xAxis->range();
    graph.appendPoint(1, t0 + 1, 7);
    if (c.follows) {
      EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, qMax(t0 + 1, before.upper));
      EXPECT_DOUBLE_EQ(graph.xAxis->range().size(), 60);
    } else {
      EXPECT_EQ(graph.xAxis->range(), before);
    }
  }
}

TEST(TrendGraph, PanModeDragMovesTimeAndBothPhAxesTogether) {
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  const QCPRange x0 = graph.xAxis->range();
  const QPoint from = pixelOf(graph, x0.center(), 7.5);
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(&graph, from + QPoint(90, 40));
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, from + QPoint(90, 40));

  EXPECT_LT(graph.xAxis->range().upper, x0.upper); // dragging right shows earlier times
  EXPECT_GT(graph.yAxis->range().lower, 0);        // dragging down shows higher pH
  EXPECT_DOUBLE_EQ(graph.yAxis2->range().lower, graph.yAxis->range().lower);
  EXPECT_DOUBLE_EQ(graph.yAxis2->range().upper, graph.yAxis->range().upper);
}

TEST(TrendGraph, CursorModeDragMovesTheNearestVisibleCursorAndReportsIt) {
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  const double mid = graph.xAxis->range().center();
  graph.setInteraction(TrendGraph::Interaction::Cursors);
  graph.setCursorVisible(1, true);
  graph.setCursorVisible(2, true);
  graph.placeCursor(1, mid - 20, 5);
  graph.placeCursor(2, mid + 20, 10);
  graph.replot();
  const QCPRange x0 = graph.xAxis->range();
  QSignalSpy moves(&graph, &TrendGraph::cursorMoved);

  // Pressed a little off cursor 2's crossing, dragged to (mid + 10, 12), then past the top edge.
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, pixelOf(graph, mid + 18, 9.5));
  QTest::mouseMove(&graph, pixelOf(graph, mid + 10, 12));
  QTest::mouseMove(&graph, pixelOf(graph, mid + 10, 40));
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, pixelOf(graph, mid + 10, 40));

  ASSERT_EQ(moves.size(), 3);
  for (const QList<QVariant> &move : moves)
    EXPECT_EQ(move.at(0).toInt(), 2);
  const double pixelInX = x0.size() / graph.axisRect()->width();
  const double pixelInY = 15.0 / graph.axisRect()->height();
  EXPECT_NEAR(moves.at(1).at(1).toDouble(), mid + 10, pixelInX);
  EXPECT_NEAR(moves.at(1).at(2).toDouble(), 12, pixelInY);
  EXPECT_DOUBLE_EQ(moves.at(2).at(2).toDouble(), 15); // stopped at the edge
  EXPECT_DOUBLE_EQ(graph.cursorPosition(2).y(), 15);
  EXPECT_EQ(graph.cursorPosition(1), QPointF(mid - 20, 5));
  EXPECT_EQ(graph.xAxis->range(), x0); // no panning in cursor mode

  // A move after the release drags nothing.
  QTest::mouseMove(&graph, pixelOf(graph, mid, 3));
  EXPECT_EQ(moves.size(), 3);
}

TEST(TrendGraph, HiddenCursorsAreNeverGrabbed) {
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  const double mid = graph.xAxis->range().center();
  graph.setInteraction(TrendGraph::Interaction::Cursors);
  graph.setCursorVisible(1, true);
  graph.placeCursor(1, mid - 20, 5);
  graph.placeCursor(2, mid + 20, 10); // hidden, and nearest to the press
  graph.replot();
  QSignalSpy moves(&graph, &TrendGraph::cursorMoved);
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, pixelOf(graph, mid + 20, 10));
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, pixelOf(graph, mid + 20, 10));
  ASSERT_EQ(moves.size(), 1);
  EXPECT_EQ(moves.at(0).at(0).toInt(), 1);
  EXPECT_EQ(graph.cursorPosition(2), QPointF(mid + 20, 10));
}

} // namespace
