#include "plot/decimated_series.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <optional>

namespace plot {
namespace {

// A value that is not a number never counts as an extreme while the bucket has a number.
bool lowerThan(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); }
bool higherThan(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a > b); }

} // namespace

void DecimatedSeries::pushBack(const Point &p) {
  if ((m_size >> blockBits) == m_blocks.size())
    m_blocks.push_back(std::make_unique_for_overwrite<Point[]>(std::size_t(1) << blockBits));
  point(m_size++) = p;
}

void DecimatedSeries::append(double key, double value) {
  ++m_revision;
  if (m_size == 0 || !(key < point(m_size - 1).key)) {
    pushBack({key, value});
    summariseFrom(m_size - 1);
    if (std::isnan(value))
      noteGap(m_size - 1);
    return;
  }
  // Older than the newest: shift the later points up by one and insert after any equal keys.
  const std::size_t at = upperBound(key);
  pushBack(point(m_size - 1));
  for (std::size_t i = m_size - 2; i > at; --i)
    point(i) = point(i - 1);
  point(at) = {key, value};
  summariseFrom(at);
  regapFrom(at);
}

void DecimatedSeries::append(std::span<const Point> points) {
  const auto byKey = [](const Point &a, const Point &b) { return a.key < b.key; };
  if (points.empty())
    return;
  if ((m_size > 0 && points.front().key < point(m_size - 1).key) ||
      !std::is_sorted(points.begin(), points.end(), byKey)) {
    for (const Point &p : points)
      append(p.key, p.value);
    return;
  }
  ++m_revision;
  const std::size_t from = m_size;
  for (const Point &p : points) {
    pushBack(p);
    if (std::isnan(p.value))
      noteGap(m_size - 1);
  }
  summariseFrom(from);
}

void DecimatedSeries::noteGap(std::size_t index) {
  if (!m_gaps.empty() && m_gaps.back().last + 1 == index)
    m_gaps.back().last = index;
  else
    m_gaps.push_back({index, index});
}

void DecimatedSeries::regapFrom(std::size_t from) {
  auto it = std::lower_bound(m_gaps.begin(), m_gaps.end(), from,
                             [](const Gap &g, std::size_t i) { return g.last < i; });
  std::size_t start = from;
  if (it != m_gaps.end())
    start = std::min(start, it->first);
  m_gaps.erase(it, m_gaps.end());
  for (std::size_t i = start; i < m_size; ++i)
    if (std::isnan(point(i).value))
      noteGap(i);
}

std::size_t DecimatedSeries::firstGapIn(std::size_t begin, std::size_t end) const {
  const auto it = std::lower_bound(m_gaps.begin(), m_gaps.end(), begin,
                                   [](const Gap &g, std::size_t i) { return g.last < i; });
  return it != m_gaps.end() && it->first < end ? std::max(it->first, begin) : SIZE_MAX;
}

void DecimatedSeries::clear() {
  ++m_revision;
  m_blocks.clear();
  m_levels.clear();
  m_gaps.clear();
  m_size = 0;
}

std::size_t DecimatedSeries::lowerBound(double key) const {
  std::size_t lo = 0, hi = m_size;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (point(mid).key < key)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

std::size_t DecimatedSeries::upperBound(double key) const {
  std::size_t lo = 0, hi = m_size;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (key < point(mid).key)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

DecimatedSeries::Extremes DecimatedSeries::scan(std::size_t begin, std::size_t end) const {
  Extremes e{std::uint32_t(begin), std::uint32_t(begin)};
  for (std::size_t i = begin + 1; i < end; ++i) {
    const double v = point(i).value;
    if (lowerThan(v, point(e.min).value))
      e.min = std::uint32_t(i);
    if (higherThan(v, point(e.max).value))
      e.max = std::uint32_t(i);
  }
  return e;
}

DecimatedSeries::Extremes DecimatedSeries::merge(const Extremes &a, const Extremes &b) const {
  return {lowerThan(point(b.min).value, point(a.min).value) ? b.min : a.min,
          higherThan(point(b.max).value, point(a.max).value) ? b.max : a.max};
}

void DecimatedSeries::summariseFrom(std::size_t from) {
  for (std::size_t k = 0;; ++k) {
    const int shift = summaryBits + int(k);
    if (k == m_levels.size())
      m_levels.emplace_back();
    std::vector<Extremes> &level = m_levels[k];
    const std::size_t last = (m_size - 1) >> shift;
    level.resize(last + 1);
    for (std::size_t b = from >> shift; b <= last; ++b) {
      if (k == 0) {
        const std::size_t first = b << shift;
        // A point appended to a bucket already summarised only needs comparing with it.
        level[b] = from == m_size - 1 && from > first
                       ? merge(level[b], Extremes{std::uint32_t(from), std::uint32_t(from)})
                       : scan(first, std::min(m_size, (b + 1) << shift));
      } else {
        const std::vector<Extremes> &finer = m_levels[k - 1];
        level[b] = 2 * b + 1 < finer.size() ? merge(finer[2 * b], finer[2 * b + 1]) : finer[2 * b];
      }
    }
    if (level.size() == 1) {
      m_levels.resize(k + 1);
      return;
    }
  }
}

DecimatedSeries::Extremes DecimatedSeries::extremes(std::size_t begin, std::size_t end) const {
  // Raw points up to the first bucket boundary, then the widest whole buckets that fit, then raw
  // points again: a few dozen steps however long the run.
  std::optional<Extremes> e;
  auto add = [&](const Extremes &more) { e = e ? merge(*e, more) : more; };
  std::size_t i = begin;
  while (i < end) {
    int k = -1;
    while (std::size_t(k + 1) < m_levels.size()) {
      const std::size_t width = std::size_t(1) << (summaryBits + k + 1);
      if ((i & (width - 1)) != 0 || i + width > end)
        break;
      ++k;
    }
    if (k < 0) {
      const std::size_t width = std::size_t(1) << summaryBits;
      const std::size_t stop = std::min(end, (i | (width - 1)) + 1);
      add(scan(i, stop));
      i = stop;
    } else {
      add(m_levels[k][i >> (summaryBits + k)]);
      i += std::size_t(1) << (summaryBits + k);
    }
  }
  return *e;
}

QVector<QCPGraphData> DecimatedSeries::visiblePoints(double lower, double upper,
                                                     int columns) const {
  QVector<QCPGraphData> out;
  if (m_size == 0 || columns < 1 || !(lower <= upper))
    return out;
  std::size_t begin = lowerBound(lower);
  std::size_t end = upperBound(upper);
  if (begin > 0)
    --begin;
  if (end < m_size)
    ++end;
  const std::size_t count = end - begin;
  if (count == 0)
    return out;

  if (count <= 2 * std::size_t(columns)) {
    out.reserve(qsizetype(count));
    for (std::size_t i = begin; i < end; ++i)
      out.append(QCPGraphData(point(i).key, point(i).value));
    return out;
  }

  // Buckets of 2^shift points, the smallest power of two that leaves at most `columns` of them.
  const std::size_t perColumn = (count + std::size_t(columns) - 1) / std::size_t(columns);
  const int shift = std::countr_zero(std::bit_ceil(perColumn));
  out.reserve(2 * qsizetype(count >> shift) + 6);
  std::size_t lastEmitted = SIZE_MAX;
  auto take = [&](std::size_t i) {
    if (lastEmitted != SIZE_MAX && i <= lastEmitted)
      return;
    out.append(QCPGraphData(point(i).key, point(i).value));
    lastEmitted = i;
  };
  take(begin);
  for (std::size_t b = begin >> shift; b <= (end - 1) >> shift; ++b) {
    const std::size_t first = std::max(b << shift, begin);
    const std::size_t stop = std::min((b + 1) << shift, end);
    const Extremes e = extremes(first, stop);
    // The extremes are numbers unless every value of the bucket is NaN.
    const std::size_t gap = std::isnan(point(e.min).value) ? SIZE_MAX : firstGapIn(first, stop);
    std::array<std::size_t, 3> picks = {e.min, e.max, gap};
    std::sort(picks.begin(), picks.end());
    for (std::size_t i : picks)
      if (i != SIZE_MAX)
        take(i);
  }
  take(end - 1);
  return out;
}

std::size_t DecimatedSeries::bytesHeld() const {
  std::size_t bytes = m_blocks.capacity() * sizeof(m_blocks[0]) +
                      m_blocks.size() * (sizeof(Point) << blockBits) +
                      m_levels.capacity() * sizeof(m_levels[0]);
  for (const std::vector<Extremes> &level : m_levels)
    bytes += level.capacity() * sizeof(Extremes);
  bytes += m_gaps.capacity() * sizeof(Gap);
  return bytes;
}

} // namespace plot
