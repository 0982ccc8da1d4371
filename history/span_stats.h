#pragma once

#include "logging/log_reader.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// Figures over a span of a log: what a lab book wants of a stretch of a run. Pure: no widgets.
namespace history {

// A stretch of wall-clock seconds as the log counts them (see logging::LogRecord), both ends
// included.
struct Span {
  qint64 from = 0;
  qint64 to = 0;
  int run = -1; // only this run's records; -1 for any run's
  bool contains(const logging::LogRecord &r) const {
    return r.wallSeconds >= from && r.wallSeconds <= to && (run < 0 || r.run == run);
  }
};

// One series over the span. Values the file has none for (NaN) are left out of every figure.
struct SeriesFigures {
  QString name;   // "pH1"
  QString unit;   // "pH", "°C"
  int places = 2; // the series' own decimal places; means and slopes get two more
  qint64 count = 0;
  double minimum = 0, maximum = 0, mean = 0;
  double deviation = 0;    // the sample standard deviation (n - 1); NaN for one record
  double slopePerHour = 0; // of the least-squares line against time; NaN for one instant
  double first = 0, last = 0;
  qint64 firstWall = 0, lastWall = 0;
};

struct SpanFigures {
  Span span;
  std::vector<SeriesFigures> series; // in the order asked for
  // No series has a record in the span.
  bool empty() const;
};

// A series to figure: its name, unit, places and its value in a record (NaN for none).
struct SeriesSource {
  QString name;
  QString unit;
  int places = 2;
  std::function<double(const logging::LogRecord &)> value;
};

// The figures taken as the records come, in file order (a run's records come in time order):
// a log of any length costs the same few numbers a series.
class FigureAccumulator {
public:
  FigureAccumulator(const Span &span, std::vector<SeriesSource> sources);
  ~FigureAccumulator();
  // Records outside the span are passed over.
  void add(const logging::LogRecord &record);
  SpanFigures result() const;

private:
  struct Sums;
  std::vector<SeriesSource> m_sources;
  SpanFigures m_out;
  std::unique_ptr<Sums> m_sums;
};

// Walks the records once, in file order.
SpanFigures spanFigures(const std::vector<logging::LogRecord> &records, const Span &span,
                        const std::vector<SeriesSource> &sources);

// The table's column titles and its rows as shown: numbers in `locale`'s form at the places
// shown, "-" where a figure does not exist. The cursors' differences are the last record's time
// and value less the first's.
QStringList figureTitles();
std::vector<QStringList> figureRows(const SpanFigures &figures, const QLocale &locale);

// The table as tab-separated lines (titles first), each ended by a line break: what a spreadsheet
// takes from the clipboard as it is.
QString figuresTsv(const SpanFigures &figures, const QLocale &locale);

} // namespace history
