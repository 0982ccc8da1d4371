#pragma once

#include "state/quantities.h"

#include <qcustomplot.h>

#include <QColor>
#include <QPen>
#include <QString>

// The look every chart of the program shares: the trend and the log window draw their traces
// alike, light on black, with 1-pixel pens and no antialiasing. A wider or antialiased pen makes a
// long trace orders of magnitude slower to draw without OpenGL, and the traces are fed through a
// DecimatedSeries, which already keeps every spike, so QCustomPlot's adaptive sampling is off.
namespace plot {

// Trace 1 (probe 1) and trace 2 (probe 2) in the catalogue's trace colours of the two pH readings;
// the main window shows each probe's readings in its trace's colour.
inline const QColor trace1Colour = QColor::fromRgb(state::info(state::Quantity::Ph1).traceRgb);
inline const QColor trace2Colour = QColor::fromRgb(state::info(state::Quantity::Ph2).traceRgb);

inline const QColor chartBackground{Qt::black};
inline const QColor axisColour{210, 210, 210};
inline const QColor gridColour{70, 70, 70};

// Trace 1 is dashed where it is drawn over trace 2, so that where the probes agree to a pixel the
// red line shows through the gaps of the green one.
QPen tracePen(const QColor &colour, bool dashed = false);

// Background, antialiasing and the legend of a chart.
void styleChart(QCustomPlot *chart);
void styleAxis(QCPAxis *axis, const QString &name, const QString &caption);
// A graph drawn as a line with `pen`, not antialiased, without adaptive sampling.
void styleTrace(QCPGraph *graph, const QPen &pen);

} // namespace plot
