#pragma once

#include "history/alarm_marks.h"
#include "logging/log_reader.h"
#include "state/quantities.h"

#include <qcustomplot.h>

#include <QColor>

#include <array>
#include <vector>

namespace plot {
class GraphFeed;
}

namespace history {

class AlarmMarkLayer;

// The value axes: pH on the left, the others on the right, each shown only while in use.
enum Axis { PhAxis, TemperatureAxis, FlowAxis, TotalAxis, AxisCount };

// A reading the log window can chart, with the check box that shows it. Its log column, trace
// colour, unit and decimal places are the catalogue's.
struct LogSeries {
  const char *objectName; // of its check box
  const char *caption;
  state::Quantity quantity;
  Axis axis;
  bool dashed;
  bool shownAtStart;

  logging::LogColumn column() const { return logging::LogColumn(logging::logColumnOf(quantity)); }
  QColor colour() const { return QColor::fromRgb(state::info(quantity).traceRgb); }
  int places() const { return state::info(quantity).decimals; }
};

inline constexpr int kLogSeriesCount = 7;
extern const std::array<LogSeries, kLogSeriesCount> kLogSeries;

// Which series are drawn and whether the operator's corrections and offsets are added to them.
struct LogChartView {
  std::array<bool, kLogSeriesCount> shown{};
  bool phCorrected = true;       // pH with the probes' corrections
  bool thermistorOffsets = true; // temperatures with the thermistors' offsets
};

// The log window's chart (object name "chtLog"): the chosen columns of a log against its
// wall-clock date and time, drawn like the trend through decimating feeds, so a view of any
// width of a file of any length costs about two points a pixel column. Runs are not joined.
class LogChart : public QCustomPlot {
  Q_OBJECT
public:
  explicit LogChart(QWidget *parent = nullptr);

  // The log to draw, held by the caller while it is shown; null draws nothing. Shows no series
  // until showSeries().
  void setLog(const logging::LogFile *log);
  // Draws the chosen series over their whole extent; each value axis in use is fitted to its
  // series with a margin. Redraws.
  void showSeries(const LogChartView &view);
  // A series' value in a record as drawn with the current view; NaN where the file has none.
  double valueOf(int series, const logging::LogRecord &record) const {
    return valueIn(m_view, series, record);
  }
  // The same with `view`: for a thread that may not touch the chart.
  static double valueIn(const LogChartView &view, int series, const logging::LogRecord &record);
  const LogChartView &view() const { return m_view; }
  // The record nearest in time to `key` (wall-clock seconds), or null without records.
  const logging::LogRecord *nearestRecord(double key) const;
  // The whole log in view, first to last record. Does not redraw.
  void showWholeFile();
  // A dashed line across the chart at `key`.
  void placeCursor(double key);
  // Marks each raise (a solid line) and return (a dashed one) among `marks` across the chart in
  // its quantity's colour, the legend saying which is which; the marks are the caller's and are
  // held while shown. Empty removes them. Redraws.
  void setAlarmMarks(const std::vector<AlarmMark> &marks);
  // The drawn marks within `pixels` of `key` on the x axis, in order of time.
  std::vector<const AlarmMark *> marksNear(double key, double pixels) const;

private:
  void buildAxes();
  void fill(int series, bool adjusted);
  void fitValueAxes(const std::array<bool, AxisCount> &used);
  // The marks' two legend entries, last, while there are marks.
  void showMarkLegend();

  const logging::LogFile *m_log = nullptr;
  // Records' indices in order of time, for filling the series and the read-out.
  std::vector<qsizetype> m_byTime;
  LogChartView m_view;
  std::array<plot::GraphFeed *, kLogSeriesCount> m_feeds{};
  // What each series holds: -1 nothing, 0 the readings as written, 1 with the adjustments.
  std::array<int, kLogSeriesCount> m_filled{};
  std::array<QCPAxis *, AxisCount> m_axes{};
  QCPItemStraightLine *m_cursor = nullptr;
  AlarmMarkLayer *m_markLayer = nullptr;
  std::array<QCPGraph *, 2> m_markLegend{}; // no data: they only explain the marks' two lines
};

} // namespace history
