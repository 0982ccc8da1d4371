#pragma once

#include <qcustomplot.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace plot {

// Every point of a series, sorted by key, with a summary that makes a view of any width cheap to
// draw: for each bucket of 2^k consecutive points (k = 4, 5, ...) the indexes of its lowest and
// highest value. A view over n points on w pixel columns then costs about w steps instead of n.
//
// Memory: 16 bytes a point (two doubles, kept in fixed blocks so that growing never doubles the
// allocation) plus at most 2 bytes a point of summary. Values are kept exactly: what is drawn are
// the series' own points, never averages.
class DecimatedSeries {
public:
  struct Point {
    double key;
    double value;
  };

  DecimatedSeries() = default;
  DecimatedSeries(DecimatedSeries &&) noexcept = default;
  DecimatedSeries &operator=(DecimatedSeries &&) noexcept = default;

  // Keys normally arrive in increasing order; that costs a constant few steps. A key older than
  // the newest (the clock was set back) is inserted at its sorted place, at a cost linear in the
  // points after it, so the series stays sorted and nothing is lost.
  void append(double key, double value);
  // The same as appending each point in turn, but for points in order of key that are not older
  // than the newest it costs one pass over them instead of a summary update for each.
  void append(std::span<const Point> points);
  void clear();

  std::size_t size() const { return m_size; }
  bool isEmpty() const { return m_size == 0; }
  // 0 <= index < size().
  Point at(std::size_t index) const { return point(index); }
  // Index of the first point whose key is not less than `key` (size() if none).
  std::size_t lowerBound(double key) const;
  // Index of the first point whose key is greater than `key` (size() if none).
  std::size_t upperBound(double key) const;

  // Changes whenever the points change, so that a view can skip work when nothing did.
  std::uint64_t revision() const { return m_revision; }

  // The points to draw keys lower..upper on `columns` pixel columns, sorted by key. With at most
  // 2 x columns points in the range: all of them. Otherwise the range is cut into buckets of
  // consecutive points, at most `columns` of them, and each gives its lowest and its highest point;
  // the first and the last point of the range come too. Every point of the range lies in a
  // bucket, so no spike is ever lost. A value that is not a number (NaN) breaks the drawn line:
  // a bucket holding one gives it too, so a gap in the series stays a gap at every width. One point
  // on each side of the range is included (when there is one) so that a line drawn through the
  // result reaches the edges.
  QVector<QCPGraphData> visiblePoints(double lower, double upper, int columns) const;

  // Bytes held on the heap for the points and the summary.
  std::size_t bytesHeld() const;

private:
  // Consecutive points first..last whose values are NaN.
  struct Gap {
    std::size_t first;
    std::size_t last;
  };

  struct Extremes {
    std::uint32_t min;
    std::uint32_t max;
  };

  static constexpr int blockBits = 12;  // 4096 points, 64 KiB a block
  static constexpr int summaryBits = 4; // the finest summary level has buckets of 16 points

  Point &point(std::size_t index) {
    return m_blocks[index >> blockBits][index & ((std::size_t(1) << blockBits) - 1)];
  }
  const Point &point(std::size_t index) const {
    return m_blocks[index >> blockBits][index & ((std::size_t(1) << blockBits) - 1)];
  }
  void pushBack(const Point &p);
  // Keeps the gaps up to date with a NaN at `index`, the newest point looked at.
  void noteGap(std::size_t index);
  // Recomputes the gaps that reach `from` or later.
  void regapFrom(std::size_t from);
  // The first point of begin..end that is NaN, or SIZE_MAX.
  std::size_t firstGapIn(std::size_t begin, std::size_t end) const;
  // Recomputes the summary of every bucket holding a point at `from` or later.
  void summariseFrom(std::size_t from);
  Extremes scan(std::size_t begin, std::size_t end) const;
  Extremes merge(const Extremes &a, const Extremes &b) const;
  // Extremes of the points begin..end (begin < end).
  Extremes extremes(std::size_t begin, std::size_t end) const;

  std::vector<std::unique_ptr<Point[]>> m_blocks;
  std::size_t m_size = 0;
  // m_levels[k] summarises buckets of 2^(summaryBits + k) points; the top level has one bucket.
  std::vector<std::vector<Extremes>> m_levels;
  std::vector<Gap> m_gaps; // in order; empty while every value is a number
  std::uint64_t m_revision = 0;
};

} // namespace plot
