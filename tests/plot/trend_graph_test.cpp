#include "plot/trend_graph.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

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
    // The decimated feed already keeps every spike; QCustomPlot's sampling would redo its work.
    EXPECT_FALSE(trace->adaptiveSampling());
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

void wheel(TrendGraph &graph, const QPoint &at, int steps, Qt::KeyboardModifiers modifiers = {}) {
  QWheelEvent event(at, graph.mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                    modifiers, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&graph, &event);
}

void drag(TrendGraph &graph, const QPoint &from, const QPoint &to) {
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(&graph, to);
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, to);
}

// Ten minutes of points on both traces, one a second, the newest at `start`.
void fillTenMinutes(TrendGraph &graph, double ph1 = 7.0, double ph2 = 7.02) {
  for (int i = 599; i >= 0; --i) {
    graph.appendPoint(2, key(start) - i, ph2);
    graph.appendPoint(1, key(start) - i + 0.5, ph1);
  }
}

// The operator's way through the history: the wheel zooms time about the pointer (and, with Ctrl,
// the pH axes), a drag back leaves the newest point out of view and shows "Follow", appends then
// leave the view alone, and one press on "Follow" brings the newest point back and hides it.
TEST(TrendGraph, PanAndZoomLeaveTheNewestPointUntilFollowBringsItBack) {
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  fillTenMinutes(graph);
  auto *follow = graph.findChild<QToolButton *>("cmdFollow");
  auto *span = graph.findChild<QComboBox *>("cmbSpan");
  ASSERT_TRUE(follow && span);
  EXPECT_EQ(span->currentText(), "1 min");
  EXPECT_TRUE(graph.isFollowing());
  EXPECT_FALSE(follow->isVisible());

  // Zoom out two steps with the pointer a quarter from the left: that moment stays put.
  const QCPRange before = graph.xAxis->range();
  const double pointed = before.lower + before.size() / 4;
  const QPoint at = pixelOf(graph, pointed, 7);
  wheel(graph, at, -2);
  EXPECT_GT(graph.xAxis->range().size(), before.size() * 1.3);
  EXPECT_NEAR(graph.xAxis->pixelToCoord(at.x()), pointed, graph.xAxis->range().size() / 400);
  EXPECT_EQ(graph.yAxis->range(), QCPRange(0, 15));
  EXPECT_EQ(span->currentIndex(), -1) << "a width of the operator's own is no chosen span";
  EXPECT_TRUE(graph.isFollowing()); // the newest point is still in view

  wheel(graph, at, 1, Qt::ControlModifier);
  const QCPRange widened = graph.xAxis->range();
  EXPECT_LT(graph.yAxis->range().size(), 15);
  EXPECT_EQ(graph.yAxis2->range(), graph.yAxis->range());
  EXPECT_EQ(graph.xAxis->range(), widened);
  graph.yAxis->setRange(0, 15);
  graph.yAxis2->setRange(0, 15);

  // Drag right by half the width: earlier times, the newest point out of view.
  const QPoint middle = pixelOf(graph, widened.center(), 7);
  drag(graph, middle, middle + QPoint(graph.axisRect()->width() / 2, 0));
  const QCPRange panned = graph.xAxis->range();
  EXPECT_LT(panned.upper, key(start));
  EXPECT_NEAR(panned.size(), widened.size(), 1e-6);
  EXPECT_FALSE(graph.isFollowing());
  EXPECT_TRUE(follow->isVisible());
  graph.replot(); // what the drag queued: the traces now draw the history in view
  for (int number : {1, 2}) {
    const QCPGraph *trace = graph.trace(number);
    ASSERT_FALSE(trace->data()->isEmpty()) << number;
    EXPECT_LE(trace->data()->constBegin()->key, panned.lower) << number;
    EXPECT_GE((trace->data()->constEnd() - 1)->key, panned.upper) << number;
  }

  graph.appendPoint(2, key(start) + 1, 7.02);
  EXPECT_EQ(graph.xAxis->range(), panned) << "not following: the view stays";

  QTest::mouseClick(follow, Qt::LeftButton);
  EXPECT_TRUE(graph.isFollowing());
  EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, key(start) + 1);
  EXPECT_NEAR(graph.xAxis->range().size(), widened.size(), 1e-6);
  EXPECT_FALSE(follow->isVisible());
  EXPECT_FALSE(follow->isChecked());
  graph.appendPoint(2, key(start) + 1000, 7.02);
  EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, key(start) + 1000);
}

// Each entry of the span chooser shows that much time ending at the newest point, from wherever
// the operator had panned; "Whole run" shows every point and widens as points arrive.
TEST(TrendGraph, SpanChooserShowsTheNewestPointsOverTheChosenTime) {
  const double newest = key(start) + 0.5; // trace 1's last point
  const double oldest = key(start) - 599; // trace 2's first
  const struct {
    const char *entry;
    double lower;
  } cases[] = {
      {"10 min", newest - 600}, {"1 h", newest - 3600}, {"8 h", newest - 8 * 3600},
      {"24 h", newest - 86400}, {"Whole run", oldest},  {"1 min", newest - 60},
  };
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  fillTenMinutes(graph);
  auto *span = graph.findChild<QComboBox *>("cmbSpan");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.entry);
    graph.xAxis->setRange(oldest - 5000, oldest - 4000); // panned far back
    ASSERT_FALSE(graph.isFollowing());
    span->setCurrentIndex(span->findText(c.entry));
    ASSERT_EQ(span->currentText(), c.entry);
    EXPECT_DOUBLE_EQ(graph.xAxis->range().lower, c.lower);
    EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, newest);
    EXPECT_TRUE(graph.isFollowing());
  }
  span->setCurrentIndex(span->findText("Whole run"));
  graph.appendPoint(1, newest + 30, 7);
  EXPECT_EQ(graph.xAxis->range(), QCPRange(oldest, newest + 30));
  EXPECT_EQ(span->currentText(), "Whole run");
}

// The probes agree exactly: the drawn chart still shows both colours, trace 1 over trace 2.
TEST(TrendGraph, BothTracesStayVisibleWhereTheyCoincide) {
  ShownGraph shown;
  TrendGraph &graph = shown.graph;
  fillTenMinutes(graph, 7.0, 7.0);
  graph.replot();
  const QImage image = graph.grab().toImage();
  const QRect area = graph.axisRect()->rect().adjusted(0, 30, 0, 0); // below the legend
  int green = 0, red = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      green += pixel == qRgb(0, 255, 0);
      red += pixel == qRgb(255, 0, 0);
    }
  EXPECT_GT(green, area.width() / 3);
  EXPECT_GT(red, area.width() / 5);
  const QString shot = qEnvironmentVariable("BRELLIS_TREND_SCREENSHOT");
  if (!shot.isEmpty())
    image.save(shot);
}

} // namespace
