#pragma once

#include "state/acquisition_state.h"
#include "state/quantities.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QTimer;

namespace plot {

class TrendGraph;

// The trend plot's logic around the chart: the plot tick on tmrPlot, the start/pause switch, the
// mode selector, the pH axes' range and the cursor read-out. The main window owns every object
// passed in; they must outlive this controller. All calls come on the user-interface thread.
class TrendPlot : public QObject {
  Q_OBJECT

public:
  using Clock = std::function<QDateTime()>;

  // Connects tmrPlot's timeout to plotTick (setting its period to 1000 ms) and the chart's cursor
  // moves to the read-out. Starts nothing: plotting begins with setPlotting(true).
  TrendPlot(const AcquisitionState &state, TrendGraph *graph, QTimer *tmrPlot, QAbstractButton *chkpH1,
            QAbstractButton *chkpH2, Clock clock, QObject *parent = nullptr);

  // One point per selected trace: trace 2 first, then trace 1, each stamped with its own reading
  // of the clock; y is the probe's pH plus its correction as AcquisitionState holds them now.
  void plotTick();
  // Replaces the clock the points are stamped with (a run on simulated time).
  void setClock(Clock clock) { m_clock = std::move(clock); }

  // cwPlot's change: on starts tmrPlot and locks the trace check boxes; off stops it and unlocks
  // them. The points drawn so far stay either way.
  void setPlotting(bool on);

  // GraphMode's change, position 1 (pan), 2 (one cursor) or 3 (two cursors); other positions are
  // ignored. Placing cursor 1 in position 2 updates the read-out, so the status bar never shows a
  // place cursor 1 has left.
  void setGraphMode(int position);

  // Sets both pH axes to min..max, first axis then second, whichever knob moved; also "Reset
  // Scale". A minimum above the maximum shows the range the right way up (12, 2 gives 2..12);
  // an empty range (min == max) leaves the axes as they are.
  void setPhAxisRange(double min, double max);

  // The read-out texts: "X:  hh:mm:ss" (local time of day) and "Y:  " with the value rounded to
  // four places (half to even), trailing zeros dropped, the locale's decimal separator and no
  // digit grouping: 7.25 -> "Y:  7.25", 7.123456 -> "Y:  7.1235", 7 -> "Y:  7".
  static QString cursorXText(double x);
  static QString cursorYText(double y, const QLocale &locale = QLocale());

signals:
  // Texts for panels 2 and 3 of the status bar; only cursor 1's moves produce them.
  void cursorReadout(const QString &panel2, const QString &panel3);

private:
  void onCursorMoved(int cursor, double x, double y);

  const AcquisitionState &m_state;
  TrendGraph *m_graph;
  QTimer *m_timer;
  QAbstractButton *m_chkpH1;
  QAbstractButton *m_chkpH2;
  Clock m_clock;
};

} // namespace plot
