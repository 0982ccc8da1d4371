#include "plot/decimated_series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using plot::DecimatedSeries;

// A gentle wave between 6.5 and 7.5 with one-sample spikes: up at `upAt`, down at `downAt`.
double valueAt(int i, int upAt, int downAt) {
  if (i == upAt)
    return 12.5;
  if (i == downAt)
    return 1.25;
  return 7 + 0.5 * std::sin(i / 500.0);
}

// Drawn keys lower..upper on some pixel columns, over 100 000 points one second apart: whatever the
// width of the view, the spikes inside it come out at their own key and value, the points are
// real and sorted, and their count stays near two a column.
TEST(DecimatedSeries, ViewsOfAnyWidthKeepEverySpikeAndStayNearTwoPointsAColumn) {
  constexpr int count = 100000;
  const struct {
    const char *name;
    double lower, upper;
    int columns;
    int upAt, downAt;
  } cases[] = {
      {"whole series on 800 columns", 0, count - 1, 800, 4321, 77777},
      {"whole series on 1 column", 0, count - 1, 1, 5, count - 2},
      {"spikes next to each other", 0, count - 1, 640, 50000, 50001},
      {"spikes at the first and last point", 0, count - 1, 700, 0, count - 1},
      {"narrow view, spikes at its edges", 30000, 31000, 300, 30000, 31000},
      {"view on a bucket boundary", 32768, 65535, 500, 32768, 65535},
      {"odd view", 12345.5, 87654.25, 333, 12346, 87654},
      {"few points: all of them", 100, 140, 800, 110, 120},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DecimatedSeries series;
    for (int i = 0; i < count; ++i)
      series.append(i, valueAt(i, c.upAt, c.downAt));
    const QVector<QCPGraphData> drawn = series.visiblePoints(c.lower, c.upper, c.columns);

    ASSERT_FALSE(drawn.isEmpty());
    for (int j = 0; j < drawn.size(); ++j) {
      const double key = drawn[j].key;
      ASSERT_EQ(key, std::floor(key)); // one of the series' own keys...
      ASSERT_EQ(drawn[j].value, valueAt(int(key), c.upAt, c.downAt)); // ...with its own value
      if (j > 0) {
        ASSERT_LT(drawn[j - 1].key, key);
      }
    }
    for (int spike : {c.upAt, c.downAt}) {
      const auto found = std::find_if(drawn.begin(), drawn.end(),
                                      [&](const QCPGraphData &p) { return p.key == spike; });
      EXPECT_NE(found, drawn.end()) << "spike at " << spike;
    }
    // Lines reach both edges: one point at or beyond each, where the series has one.
    EXPECT_LE(drawn.first().key, std::max(c.lower, 0.0));
    EXPECT_GE(drawn.last().key, std::min(c.upper, double(count - 1)));

    const int inView = int(std::floor(c.upper) - std::ceil(c.lower)) + 1;
    if (inView + 2 <= 2 * c.columns)
      EXPECT_EQ(drawn.size(), inView + 2 - (c.lower <= 0) - (c.upper >= count - 1));
    else
      EXPECT_LE(drawn.size(), 2 * c.columns + 4);
  }
}

// The clock set back: a point older than the newest is kept, in key order, and its spike is seen
// by the summary like any other.
TEST(DecimatedSeries, AnOlderKeyIsInsertedInOrderAndItsSpikeIsDrawn) {
  DecimatedSeries series;
  for (int i = 0; i < 5000; ++i)
    series.append(i, 7);
  series.append(1234.5, 14); // one second after 1234 s, arriving last
  series.append(5000, 7);

  ASSERT_EQ(series.size(), 5002u);
  for (std::size_t i = 1; i < series.size(); ++i)
    ASSERT_LE(series.at(i - 1).key, series.at(i).key) << i;
  EXPECT_EQ(series.at(1235).key, 1234.5);
  EXPECT_EQ(series.at(1235).value, 14);

  const QVector<QCPGraphData> drawn = series.visiblePoints(0, 5000, 100);
  EXPECT_LE(drawn.size(), 2 * 100 + 4);
  const auto top = std::max_element(drawn.begin(), drawn.end(),
                                    [](const auto &a, const auto &b) { return a.value < b.value; });
  EXPECT_EQ(top->key, 1234.5);
  EXPECT_EQ(top->value, 14);
}

// NaN values (a gap between two runs of a log, a total not shown yet) break the drawn line at
// every width: each run of them in view gives at least one NaN point between its neighbours.
TEST(DecimatedSeries, ARunOfNaNValuesStaysAGapAtEveryWidth) {
  constexpr int count = 100000;
  const struct {
    const char *name;
    int gapFirst, gapLast; // the NaN values
    double lower, upper;
    int columns;
    bool insertedLast; // the gap's first point arrives last, out of order
  } cases[] = {
      {"one NaN, whole series", 43210, 43210, 0, count - 1, 800, false},
      {"a long run of NaN, whole series", 20000, 59999, 0, count - 1, 800, false},
      {"one NaN on 1 column", 777, 777, 0, count - 1, 1, false},
      {"one NaN at the view's left edge", 30000, 30000, 30000, 90000, 300, false},
      {"NaN on a bucket boundary", 65535, 65536, 0, count - 1, 500, false},
      {"a NaN arriving out of order", 5000, 5000, 0, count - 1, 640, true},
      {"few points: all of them", 120, 121, 100, 140, 800, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DecimatedSeries series;
    const auto valueOf = [&](int i) {
      return i >= c.gapFirst && i <= c.gapLast ? std::nan("") : 7 + std::sin(i / 300.0);
    };
    for (int i = 0; i < count; ++i)
      if (!(c.insertedLast && i == c.gapFirst))
        series.append(i, valueOf(i));
    if (c.insertedLast)
      series.append(c.gapFirst, valueOf(c.gapFirst));
    const QVector<QCPGraphData> drawn = series.visiblePoints(c.lower, c.upper, c.columns);

    int gapPoints = 0;
    for (int j = 0; j < drawn.size(); ++j) {
      const double key = drawn[j].key;
      if (j > 0) {
        ASSERT_LT(drawn[j - 1].key, key);
      }
      if (std::isnan(drawn[j].value)) {
        EXPECT_GE(key, c.gapFirst);
        EXPECT_LE(key, c.gapLast);
        ++gapPoints;
      } else {
        EXPECT_EQ(drawn[j].value, valueOf(int(key)));
      }
    }
    EXPECT_GE(gapPoints, 1);
    EXPECT_LE(drawn.size(), 3 * c.columns + 4);
  }
}

// Points appended together draw as the same points appended one by one, whether they follow the
// newest, arrive older than it, or come out of order.
TEST(DecimatedSeries, PointsAppendedTogetherDrawAsPointsAppendedOneByOne) {
  using Point = DecimatedSeries::Point;
  const auto wave = [](int first, int count, int step) {
    std::vector<Point> points;
    for (int i = 0; i < count; ++i) {
      const int key = first + i * step;
      points.push_back({double(key), key % 997 == 0 ? std::nan("") : std::sin(key / 40.0)});
    }
    return points;
  };
  const struct {
    const char *name;
    std::vector<Point> held, added;
  } cases[] = {
      {"into an empty series", {}, wave(0, 70000, 1)},
      {"after the newest", wave(0, 30001, 1), wave(30001, 40000, 1)},
      {"older than the newest", wave(50000, 20000, 1), wave(0, 3000, 7)},
      {"out of order", wave(0, 5000, 1), wave(9000, 3000, -1)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DecimatedSeries together, oneByOne;
    for (const Point &p : c.held) {
      together.append(p.key, p.value);
      oneByOne.append(p.key, p.value);
    }
    together.append(c.added);
    for (const Point &p : c.added)
      oneByOne.append(p.key, p.value);
    ASSERT_EQ(together.size(), oneByOne.size());
    for (int columns : {1, 300, 5000}) {
      const QVector<QCPGraphData> a = together.visiblePoints(-1e9, 1e9, columns);
      const QVector<QCPGraphData> b = oneByOne.visiblePoints(-1e9, 1e9, columns);
      ASSERT_EQ(a.size(), b.size()) << columns;
      for (int j = 0; j < a.size(); ++j) {
        ASSERT_EQ(a[j].key, b[j].key) << columns << " " << j;
        ASSERT_EQ(std::isnan(a[j].value), std::isnan(b[j].value)) << columns << " " << j;
      }
    }
  }
}

} // namespace
