#include "history/span_stats.h"

#include <cmath>

namespace history {
namespace {

// Welford's running mean and squared deviations, and the sums of a least-squares line taken
// about the first record's time so that seconds since 1970 cost no digits.
struct Running {
  qint64 n = 0;
  double mean = 0, m2 = 0;
  double meanT = 0, cTT = 0, cTV = 0; // time in hours from the first record
  qint64 t0 = 0;

  void add(qint64 wall, double v) {
    if (n == 0)
      t0 = wall;
    const double t = double(wall - t0) / 3600.0;
    ++n;
    const double dv = v - mean;
    const double dt = t - meanT;
    mean += dv / double(n);
    meanT += dt / double(n);
    m2 += dv * (v - mean);
    cTT += dt * (t - meanT);
    cTV += dt * (v - mean);
  }
};

QString number(const QLocale &locale, double value, int places) {
  if (!std::isfinite(value))
    return QStringLiteral("-");
  QString text = locale.toString(value, 'f', places);
  text.remove(locale.groupSeparator());
  // A rounded -0.00 reads as 0.00.
  if (text.startsWith(locale.negativeSign()) && locale.toDouble(text) == 0)
    text.remove(0, locale.negativeSign().size());
  return text;
}

} // namespace

bool SpanFigures::empty() const {
  for (const SeriesFigures &s : series)
    if (s.count > 0)
      return false;
  return true;
}

struct FigureAccumulator::Sums {
  std::vector<Running> running;
};

FigureAccumulator::FigureAccumulator(const Span &span, std::vector<SeriesSource> sources)
    : m_sources(std::move(sources)), m_sums(std::make_unique<Sums>()) {
  m_out.span = span;
  m_sums->running.resize(m_sources.size());
  m_out.series.resize(m_sources.size());
  for (size_t i = 0; i < m_sources.size(); ++i) {
    m_out.series[i].name = m_sources[i].name;
    m_out.series[i].unit = m_sources[i].unit;
    m_out.series[i].places = m_sources[i].places;
  }
}

FigureAccumulator::~FigureAccumulator() = default;

void FigureAccumulator::add(const logging::LogRecord &record) {
  if (!m_out.span.contains(record))
    return;
  for (size_t i = 0; i < m_sources.size(); ++i) {
    const double v = m_sources[i].value(record);
    if (!std::isfinite(v))
      continue;
    SeriesFigures &s = m_out.series[i];
    if (s.count == 0 || record.wallSeconds < s.firstWall)
      s.first = v, s.firstWall = record.wallSeconds;
    if (s.count == 0 || record.wallSeconds >= s.lastWall)
      s.last = v, s.lastWall = record.wallSeconds;
    s.minimum = s.count == 0 ? v : std::min(s.minimum, v);
    s.maximum = s.count == 0 ? v : std::max(s.maximum, v);
    ++s.count;
    m_sums->running[i].add(record.wallSeconds, v);
  }
}

SpanFigures FigureAccumulator::result() const {
  SpanFigures out = m_out;
  for (size_t i = 0; i < m_sources.size(); ++i) {
    SeriesFigures &s = out.series[i];
    const Running &r = m_sums->running[i];
    s.mean = r.mean;
    s.deviation = r.n > 1 ? std::sqrt(r.m2 / double(r.n - 1)) : qQNaN();
    s.slopePerHour = r.cTT > 0 ? r.cTV / r.cTT : qQNaN();
  }
  return out;
}

SpanFigures spanFigures(const std::vector<logging::LogRecord> &records, const Span &span,
                        const std::vector<SeriesSource> &sources) {
  FigureAccumulator figures(span, sources);
  for (const logging::LogRecord &record : records)
    figures.add(record);
  return figures.result();
}

QStringList figureTitles() {
  return {QStringLiteral("Series"),   QStringLiteral("Unit"),       QStringLiteral("Records"),
          QStringLiteral("Minimum"),  QStringLiteral("Maximum"),    QStringLiteral("Mean"),
          QStringLiteral("Std. dev."), QStringLiteral("Slope (/h)"), QStringLiteral("First"),
          QStringLiteral("Last"),     QStringLiteral("Δ time (s)"), QStringLiteral("Δ value")};
}

std::vector<QStringList> figureRows(const SpanFigures &figures, const QLocale &locale) {
  std::vector<QStringList> rows;
  for (const SeriesFigures &s : figures.series) {
    QStringList row{s.name, s.unit, locale.toString(s.count).remove(locale.groupSeparator())};
    if (s.count == 0) {
      for (int k = 3; k < figureTitles().size(); ++k)
        row << QStringLiteral("-");
      rows.push_back(row);
      continue;
    }
    const int more = s.places + 2;
    row << number(locale, s.minimum, s.places) << number(locale, s.maximum, s.places)
        << number(locale, s.mean, more) << number(locale, s.deviation, more)
        << number(locale, s.slopePerHour, more) << number(locale, s.first, s.places)
        << number(locale, s.last, s.places)
        << locale.toString(s.lastWall - s.firstWall).remove(locale.groupSeparator())
        << number(locale, s.last - s.first, s.places);
    rows.push_back(row);
  }
  return rows;
}

QString figuresTsv(const SpanFigures &figures, const QLocale &locale) {
  QString out = figureTitles().join(QLatin1Char('\t')) + QLatin1Char('\n');
  for (const QStringList &row : figureRows(figures, locale))
    out += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
  return out;
}

} // namespace history
