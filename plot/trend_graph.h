#pragma once

#include "plot/chart_style.h"

#include <qcustomplot.h>

#include <QColor>
#include <QDateTime>
#include <QPointF>

#include <optional>

class QComboBox;
class QLabel;
class QToolButton;

namespace plot {

class DecimatedSeries;
class GraphFeed;

// The pH strip chart (the main window names it "CWGraph1"): X is the local date and time as
// seconds since the epoch, shown as hh:mm:ss, so a trend runs on to the right across midnight.
// Trace 1 ("Plot-1", green) is drawn against the first pH axis (yAxis, "YAxis-1"), trace 2
// ("Plot-2", red) against the second (yAxis2, "YAxis-2"). Two crosshair cursors ("Cursor-1",
// "Cursor-2") are placed in X and first-pH-axis coordinates.
//
// The chart keeps every point of the run (a DecimatedSeries per trace, so any view draws about two
// points per pixel column) and the newest points in view itself: an append moves the X window
// (keeping its width) so that the new point is at the right edge, but only when the newest point
// held before the append was inside the window, or there was none. An operator who pans back into
// the history therefore stays there, and a "Follow" button appears at the top of the chart while
// the newest point is out of view; pressing it, or panning the newest point back into view,
// resumes the following. The span chooser ("cmbSpan") above the plot area shows the newest 1 min,
// 10 min, 1 h, 8 h or 24 h, or the whole run, which then widens as points arrive.
//
// Trace 1 is dashed and drawn over trace 2, so both stay visible where the probes agree; a legend
// names them "pH1" and "pH2".
class TrendGraph : public QCustomPlot {
  Q_OBJECT

public:
  enum class Interaction { Pan, Cursors };

  // Entries of the span chooser, in its order.
  enum Span { OneMinute, TenMinutes, OneHour, EightHours, OneDay, WholeRun };

  // Width of the X window shown before the operator zooms: one minute.
  static constexpr double initialWindowSeconds = 60;

  // Shows the minute before `now` until the first point arrives.
  explicit TrendGraph(const QDateTime &now = QDateTime::currentDateTime(),
                      QWidget *parent = nullptr);

  // X coordinate of a moment, and back (local time). Keys keep millisecond precision.
  static double keyOf(const QDateTime &time);
  static QDateTime timeOf(double key);

  // Trace 1 or 2; nullptr for any other number. The graph's data holds only the points the
  // current view draws, brought up to date at each append to that trace and before each redraw;
  // every point of the trace is in history(number).
  QCPGraph *trace(int number) const;
  // Every point appended to trace 1 or 2; nullptr for any other number.
  const DecimatedSeries *history(int number) const;
  // The feed between trace 1 or 2 and its history, for filling a history in bulk (series(), then
  // refresh()); nullptr for any other number.
  GraphFeed *feed(int number) const;
  // Cursor 1 or 2; nullptr for any other number.
  QCPItemTracer *cursor(int number) const;

  // Appends one point to trace 1 or 2 (other numbers are ignored) and queues a replot. Costs the
  // same however many points the traces hold as long as keys arrive in increasing order.
  void appendPoint(int trace, double key, double value);

  // Pan: dragging pans the X axis and both pH axes together; the wheel zooms the X axis about the
  // pointer, or with Ctrl held both pH axes. Cursors: dragging moves the visible cursor nearest the
  // press; the wheel does nothing.
  void setInteraction(Interaction mode);
  Interaction interaction() const { return m_interaction; }

  void setCursorVisible(int cursor, bool visible);
  bool isCursorVisible(int cursor) const;
  // Moves a cursor without reporting it: only the operator's drags emit cursorMoved.
  void placeCursor(int cursor, double x, double y);
  QPointF cursorPosition(int cursor) const;

  // True while the newest point is in view, or there is none: appends keep it in view.
  bool isFollowing() const;
  // Shows the newest point at the right edge with the chosen span's width (the whole run for
  // WholeRun, the present width after a zoom) and so resumes the following.
  void follow();
  // The span chooser's entry; -1 after the operator zoomed to a width of their own.
  int span() const;
  // Chooses a span as the chooser does: shows the newest points over that width and follows.
  void setSpan(int span);

signals:
  // The operator dragged a cursor to (x, y) in X and first-pH-axis coordinates.
  void cursorMoved(int cursor, double x, double y);

protected:
  void resizeEvent(QResizeEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  // The span chooser and the "Follow" button above the plot area.
  void buildOverlay();
  std::optional<double> newestKey() const;
  std::optional<double> oldestKey() const;
  // The view that follows the newest point with the current span.
  QCPRange followingRange() const;
  // Sets the X range as the chart's own move, which leaves the span choice as it is.
  void setOwnXRange(const QCPRange &range);
  void onXRangeChanged(const QCPRange &range);
  void onSpanChosen(int index);
  void onFollowToggled(bool on);
  void updateFollowMark();
  void placeOverlay();
  int visibleCursorNearest(const QPointF &pixel) const;
  void dragCursorTo(const QPointF &pixel);

  QCPGraph *m_traces[2] = {};
  GraphFeed *m_feeds[2] = {};
  QComboBox *m_span = nullptr;
  QLabel *m_spanCaption = nullptr;
  QToolButton *m_follow = nullptr;
  QCPRange m_lastXRange;
  bool m_ownXRangeChange = false;
  QCPItemTracer *m_cursors[2] = {};
  Interaction m_interaction = Interaction::Pan;
  int m_draggedCursor = 0; // 0 while no cursor is being dragged
};

} // namespace plot
