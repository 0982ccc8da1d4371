#include "plot/trend_graph.h"
#include "plot/trend_plot.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using plot::TrendGraph;
using plot::TrendPlot;

const QDateTime start(QDate(2024, 3, 5), QTime(10, 0, 0));

// Every reading of the clock is 250 ms later than the one before.
struct FakeClock {
  QDateTime next = start;
  int readings = 0;
  QDateTime operator()() {
    ++readings;
    const QDateTime now = next;
    next = next.addMSecs(250);
    return now;
  }
};

struct Points {
  QList<double> keys;
  QList<double> values;
};

Points pointsOf(const QCPGraph *trace) {
  Points p;
  for (auto it = trace->data()->constBegin(); it != trace->data()->constEnd(); ++it) {
    p.keys << it->key;
    p.values << it->value;
  }
  return p;
}

// Records the order in which widgets change their enabled state.
struct EnabledChangeRecorder : QObject {
  QStringList changes;
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::EnabledChange) {
      auto *widget = static_cast<QWidget *>(watched);
      changes << widget->objectName() + (widget->isEnabled() ? " on" : " off");
    }
    return false;
  }
};

class TrendPlotTest : public ::testing::Test {
protected:
  TrendPlotTest() {
    state.plotPh1 = true;
    state.plotPh2 = true;
    chkpH1.setObjectName("chkpH1");
    chkpH2.setObjectName("chkpH2");
    chkpH1.setChecked(true);
    chkpH2.setChecked(true);
    // What the main window does with a click on the boxes.
    QObject::connect(&chkpH1, &QCheckBox::toggled, [this](bool on) { state.plotPh1 = on; });
    QObject::connect(&chkpH2, &QCheckBox::toggled, [this](bool on) { state.plotPh2 = on; });
  }

  Points trace(int number) const { return pointsOf(graph.trace(number)); }

  AcquisitionState state;
  TrendGraph graph{start};
  QTimer tmrPlot;
  QCheckBox chkpH1{"Plot pH1"};
  QCheckBox chkpH2{"Plot pH2"};
  FakeClock clock;
  TrendPlot plot{state, &graph, &tmrPlot, &chkpH1, &chkpH2, [this] { return clock(); }};
};

TEST_F(TrendPlotTest, TickServesTraceTwoThenTraceOneWithCorrectedValues) {
  state.ph1Value = 7.0123;
  state.ph1Corr = 0.5;
  state.ph2Value = 6.25;
  state.ph2Corr = -0.125;
  plot.plotTick();
  state.ph1Corr = 1; // a new correction counts from the next point on
  plot.plotTick();

  const double t0 = TrendGraph::keyOf(start);
  EXPECT_EQ(trace(2).keys, (QList<double>{t0, t0 + 0.5}));
  EXPECT_EQ(trace(1).keys, (QList<double>{t0 + 0.25, t0 + 0.75}));
  EXPECT_EQ(trace(2).values, (QList<double>{6.125, 6.125}));
  EXPECT_EQ(trace(1).values, (QList<double>{7.0123 + 0.5, 8.0123}));
}

TEST_F(TrendPlotTest, OnlySelectedTracesReceivePointsAndReadTheClock) {
  const struct {
    bool plotPh1, plotPh2;
    int points1, points2;
  } cases[] = {{true, true, 3, 3}, {true, false, 3, 0}, {false, true, 0, 3}, {false, false, 0, 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(QString("plotPh1 %1 plotPh2 %2").arg(c.plotPh1).arg(c.plotPh2).toStdString());
    AcquisitionState s;
    s.plotPh1 = c.plotPh1;
    s.plotPh2 = c.plotPh2;
    s.ph1Corr = 0.3; // before any reading a trace shows the correction alone
    TrendGraph g(start);
    FakeClock fake;
    TrendPlot p(s, &g, &tmrPlot, &chkpH1, &chkpH2, [&fake] { return fake(); });
    for (int i = 0; i < 3; ++i)
      p.plotTick();
    EXPECT_EQ(g.trace(1)->dataCount(), c.points1);
    EXPECT_EQ(g.trace(2)->dataCount(), c.points2);
    EXPECT_EQ(fake.readings, c.points1 + c.points2);
    if (c.points1 > 0) {
      EXPECT_EQ(pointsOf(g.trace(1)).values.first(), 0.3);
    }
  }
}

TEST_F(TrendPlotTest, PlotTimerDrivesTheTickOnlyWhilePlotting) {
  EXPECT_FALSE(tmrPlot.isActive());
  plot.setPlotting(true);
  EXPECT_TRUE(tmrPlot.isActive());
  EXPECT_EQ(tmrPlot.interval(), 1000);

  tmrPlot.setInterval(0); // due at once, so the event loop delivers a tick without waiting
  QCoreApplication::processEvents();
  EXPECT_GE(graph.trace(2)->dataCount(), 1);

  plot.setPlotting(false);
  EXPECT_FALSE(tmrPlot.isActive());
  const int kept = graph.trace(2)->dataCount();
  QCoreApplication::processEvents();
  EXPECT_EQ(graph.trace(2)->dataCount(), kept); // paused: no points, none lost
}

TEST_F(TrendPlotTest, CheckBoxesAreLockedWhilePlottingAndAChoiceWhilePausedCountsAtTheNextStart) {
  EnabledChangeRecorder recorder;
  chkpH1.installEventFilter(&recorder);
  chkpH2.installEventFilter(&recorder);
  chkpH1.show();
  chkpH2.show();

  plot.setPlotting(true);
  QTest::mouseClick(&chkpH1, Qt::LeftButton);
  EXPECT_TRUE(chkpH1.isChecked());
  plot.plotTick();

  plot.setPlotting(false);
  QTest::mouseClick(&chkpH1, Qt::LeftButton);
  EXPECT_FALSE(state.plotPh1);
  plot.setPlotting(true);
  plot.plotTick();

  EXPECT_EQ(recorder.changes, (QStringList{"chkpH1 off", "chkpH2 off", "chkpH2 on", "chkpH1 on",
                                           "chkpH1 off", "chkpH2 off"}));
  EXPECT_EQ(graph.trace(1)->dataCount(), 1); // only before the pause
  EXPECT_EQ(graph.trace(2)->dataCount(), 2); // pausing kept the first point
}

TEST_F(TrendPlotTest, TrendGoesOnToTheRightAcrossMidnight) {
  clock.next = QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59));
  state.plotPh1 = false;
  for (int i = 0; i < 8; ++i) {
    plot.plotTick();
    clock.next = clock.next.addMSecs(750); // one point a second
  }
  const QList<double> keys = trace(2).keys;
  ASSERT_EQ(keys.size(), 8);
  for (int i = 1; i < keys.size(); ++i)
    EXPECT_DOUBLE_EQ(keys[i] - keys[i - 1], 1.0) << i;
  EXPECT_EQ(TrendGraph::timeOf(keys.last()).toString("hh:mm:ss"), "00:00:06");
  EXPECT_DOUBLE_EQ(graph.xAxis->range().upper, keys.last()); // the newest point stays in view
}

TEST_F(TrendPlotTest, ModePositionsSetCursorsAndInteraction) {
  const struct {
    int position;
    bool cursor1, cursor2;
    QCP::Interactions interactions;
  } cases[] = {
      {2, true, false, {}},
      {3, true, true, {}},
      {1, false, false, QCP::iRangeDrag | QCP::iRangeZoom},
      {3, true, true, {}},
      {2, true, false, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.position);
    plot.setGraphMode(c.position);
    EXPECT_EQ(graph.isCursorVisible(1), c.cursor1);
    EXPECT_EQ(graph.isCursorVisible(2), c.cursor2);
    EXPECT_EQ(graph.interactions(), c.interactions);
  }
  plot.setGraphMode(4); // not a position of the selector: nothing changes
  EXPECT_TRUE(graph.isCursorVisible(1));
  EXPECT_FALSE(graph.isCursorVisible(2));
}

TEST_F(TrendPlotTest, CursorsArePlacedAtTheCentreOfTheAreaVisibleNow) {
  QSignalSpy readout(&plot, &TrendPlot::cursorReadout);
  const QDateTime panned(QDate(2024, 3, 5), QTime(9, 30, 0));
  const double x = TrendGraph::keyOf(panned);
  graph.xAxis->setRange(x - 100, x + 100);
  graph.yAxis->setRange(4, 9);
  graph.yAxis2->setRange(0, 2); // the second pH axis takes no part in the centre

  plot.setGraphMode(2);
  EXPECT_EQ(graph.cursorPosition(1), QPointF(x, 6.5));
  ASSERT_EQ(readout.size(), 1);
  EXPECT_EQ(readout.at(0).at(0).toString(), "X:  09:30:00");
  EXPECT_EQ(readout.at(0).at(1).toString(), "Y:  6.5");

  graph.xAxis->setRange(x + 900, x + 1100);
  graph.yAxis->setRange(10, 12);
  plot.setGraphMode(3);
  EXPECT_EQ(graph.cursorPosition(1), QPointF(x, 6.5)); // cursor 1 keeps its place
  EXPECT_EQ(graph.cursorPosition(2), QPointF(x + 1000, 11));
  EXPECT_EQ(readout.size(), 1); // placing cursor 2 shows nothing

  plot.setGraphMode(2); // back from 3: cursor 2 hidden, cursor 1 to the centre
  EXPECT_FALSE(graph.isCursorVisible(2));
  EXPECT_EQ(graph.cursorPosition(1), QPointF(x + 1000, 11));
  ASSERT_EQ(readout.size(), 2);
  EXPECT_EQ(readout.at(1).at(0).toString(), "X:  09:46:40");
  EXPECT_EQ(readout.at(1).at(1).toString(), "Y:  11");
}

TEST_F(TrendPlotTest, OnlyCursorOneDragsReachTheStatusBar) {
  graph.resize(900, 400);
  graph.show();
  plot.setGraphMode(3); // both cursors at the centre of the window ending at 10:00:00
  graph.placeCursor(1, TrendGraph::keyOf(start) - 45, 3);
  graph.replot();
  QSignalSpy readout(&plot, &TrendPlot::cursorReadout);

  auto pixel = [this](double x, double y) {
    return QPoint(qRound(graph.xAxis->coordToPixel(x)), qRound(graph.yAxis->coordToPixel(y)));
  };
  const double t = TrendGraph::keyOf(start);
  // Cursor 2 sits at (t - 30, 7.5): dragging it writes nothing.
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, pixel(t - 30, 7.5));
  QTest::mouseMove(&graph, pixel(t - 10, 12));
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, pixel(t - 10, 12));
  EXPECT_EQ(readout.size(), 0);

  // Cursor 1 sits at (t - 45, 3): the panels follow it, time to the second, y to four places.
  QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, pixel(t - 45, 3));
  QTest::mouseMove(&graph, pixel(t - 50, 4));
  QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, pixel(t - 50, 4));
  ASSERT_EQ(readout.size(), 2);
  const QPointF c1 = graph.cursorPosition(1);
  EXPECT_NEAR(c1.y(), 4, 0.05);
  EXPECT_EQ(readout.last().at(0).toString(), TrendPlot::cursorXText(c1.x()));
  EXPECT_EQ(readout.last().at(1).toString(), TrendPlot::cursorYText(c1.y()));
  EXPECT_TRUE(readout.last().at(0).toString().startsWith("X:  09:59:1"));
}

TEST(TrendPlotReadout, YTextHasAtMostFourDecimalsAndNoTrailingZeros) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  const QLocale german(QLocale::German, QLocale::Germany);
  const struct {
    double y;
    QLocale locale;
    const char *text;
  } cases[] = {
      {7.25, us, "Y:  7.25"},      {7.123456, us, "Y:  7.1235"}, {7, us, "Y:  7"},
      {0.5, us, "Y:  0.5"},        {0.00004, us, "Y:  0"},       {-0.00004, us, "Y:  0"},
      {-1.5, us, "Y:  -1.5"},      {12345.6, us, "Y:  12345.6"}, {7.12345, us, "Y:  7.1234"},
      {7.12355, us, "Y:  7.1236"}, {7.25, german, "Y:  7,25"},   {1234.00001, german, "Y:  1234"},
      {9.99996, us, "Y:  10"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TrendPlot::cursorYText(c.y, c.locale), c.text) << c.y;
}

TEST(TrendPlotReadout, XTextIsTheLocalTimeOfDayToTheSecond) {
  const struct {
    QDateTime time;
    const char *text;
  } cases[] = {
      {QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), "X:  14:07:09"},
      {QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 999)), "X:  14:07:09"},
      {QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)), "X:  00:00:00"},
      {QDateTime(QDate(2024, 7, 1), QTime(23, 59, 59)), "X:  23:59:59"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TrendPlot::cursorXText(TrendGraph::keyOf(c.time)), c.text);
}

TEST_F(TrendPlotTest, PhAxisRangeSetsBothAxesAndRestoresTheKnobRangeAfterAPan) {
  graph.yAxis->setRange(3.3, 4.4); // the operator panned and zoomed
  graph.yAxis2->setRange(-2, 30);
  plot.setPhAxisRange(2, 12);
  for (QCPAxis *axis : {graph.yAxis, graph.yAxis2}) {
    EXPECT_EQ(axis->range().lower, 2);
    EXPECT_EQ(axis->range().upper, 12);
  }
  plot.setPhAxisRange(12, 3); // knobs crossed: shown the right way up
  EXPECT_EQ(graph.yAxis->range(), QCPRange(3, 12));
  EXPECT_EQ(graph.yAxis2->range(), QCPRange(3, 12));
  plot.setPhAxisRange(5, 5); // an empty range is refused and changes nothing
  EXPECT_EQ(graph.yAxis->range(), QCPRange(3, 12));
  EXPECT_EQ(graph.yAxis2->range(), QCPRange(3, 12));
}

} // namespace
