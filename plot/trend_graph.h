#pragma once

#include <qcustomplot.h>

#include <QColor>
#include <QDateTime>
#include <QPointF>

#include <optional>

namespace plot {

// Trace 1 (probe 1) is green, trace 2 (probe 2) red; the main window shows each probe's readings
// in its trace's colour.
inline const QColor trace1Colour{Qt::green};
inline const QColor trace2Colour{Qt::red};

// The pH strip chart (object name "CWGraph1"): X is the local date and time as seconds since the
// epoch, shown as hh:mm:ss, so a trend runs on to the right across midnight. Trace 1 ("Plot-1",
// green) is drawn against the first pH axis (yAxis, "YAxis-1"), trace 2 ("Plot-2", red) against
// the second (yAxis2, "YAxis-2"). Two crosshair cursors ("Cursor-1", "Cursor-2") are placed in X
// and first-pH-axis coordinates.
//
// The chart keeps the newest points in view itself: an append moves the X window (keeping its
// width) so that the new point is at the right edge, but only when the newest point held before
// the append was inside the window, or there was none. An operator who pans back into the history
// therefore stays there; panning the newest point back into view resumes the following.
class TrendGraph : public QCustomPlot {
  Q_OBJECT

public:
  enum class Interaction { Pan, Cursors };

  // Width of the X window shown before the operator zooms: one minute.
  static constexpr double initialWindowSeconds = 60;

  // Shows the minute before `now` until the first point arrives.
  explicit TrendGraph(const QDateTime &now = QDateTime::currentDateTime(),
                      QWidget *parent = nullptr);

  // X coordinate of a moment, and back (local time). Keys keep millisecond precision.
  static double keyOf(const QDateTime &time);
  static QDateTime timeOf(double key);

  // Trace 1 or 2; nullptr for any other number.
  QCPGraph *trace(int number) const;
  // Cursor 1 or 2; nullptr for any other number.
  QCPItemTracer *cursor(int number) const;

  // Appends one point to trace 1 or 2 (other numbers are ignored) and queues a replot. Costs the
  // same however many points the traces hold as long as keys arrive in increasing order.
  void appendPoint(int trace, double key, double value);

  // Pan: dragging pans and the wheel zooms the X axis and both pH axes together. Cursors:
  // dragging moves the visible cursor nearest the press; the wheel does nothing.
  void setInteraction(Interaction mode);
  Interaction interaction() const { return m_interaction; }

  void setCursorVisible(int cursor, bool visible);
  bool isCursorVisible(int cursor) const;
  // Moves a cursor without reporting it: only the operator's drags emit cursorMoved.
  void placeCursor(int cursor, double x, double y);
  QPointF cursorPosition(int cursor) const;

signals:
  // The operator dragged a cursor to (x, y) in X and first-pH-axis coordinates.
  void cursorMoved(int cursor, double x, double y);

protected:
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  std::optional<double> newestKey() const;
  int visibleCursorNearest(const QPointF &pixel) const;
  void dragCursorTo(const QPointF &pixel);

  QCPGraph *m_traces[2] = {};
  QCPItemTracer *m_cursors[2] = {};
  Interaction m_interaction = Interaction::Pan;
  int m_draggedCursor = 0; // 0 while no cursor is being dragged
};

} // namespace plot
