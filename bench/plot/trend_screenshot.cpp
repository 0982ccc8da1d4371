// Saves pictures of the main window's trend for looking at, with the real window, its parts and
// the in-process simulated modules. The chart's history is filled with synthetic points (a slow
// wave with noise and one short spike on each trace), because a real run of hours cannot be
// waited for; the newest points come from the simulated modules through the real plot tick.
//
//   trend_screenshot history OUT.png    six hours of history, 8 h span, panned back half an hour
//                                       so that the newest point is out of view (not following)
//   trend_screenshot coincide OUT.png   ten minutes of the probes at 7.00 and 7.02 pH, following;
//                                       nothing is polled, so the displays keep their start texts
//
// Run it under xvfb-run (or any display); the window is saved with QWidget::grab().
#include "console/frm_main.h"
#include "plot/graph_feed.h"
#include "plot/trend_graph.h"
#include "sim/dgh_modules.h"
#include "sim/simulated_bus.h"
#include "widgets/two_state_switch.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <QTimerEvent>

#include <cmath>
#include <cstdio>
#include <random>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  if (argc != 3 || (qstrcmp(argv[1], "history") != 0 && qstrcmp(argv[1], "coincide") != 0)) {
    std::fprintf(stderr, "usage: %s history|coincide OUT.png\n", argv[0]);
    return 2;
  }
  const bool history = qstrcmp(argv[1], "history") == 0;

  tiltdgh::SteadyClock clock;
  sim::DghModules modules(7);
  sim::SimulatedBus bus(clock, modules);
  frmMain window(bus, clock);
  if (!window.load())
    return 1;
  window.show();
  auto *graph = window.findChild<plot::TrendGraph *>(QStringLiteral("CWGraph1"));

  const double now = plot::TrendGraph::keyOf(QDateTime::currentDateTime());
  const int seconds = history ? 6 * 3600 : 600;
  std::mt19937 noise(7);
  std::normal_distribution<double> jitter(0, history ? 0.02 : 0.0);
  for (int i = seconds; i > 0; --i) {
    const double t = now - i;
    const double wave = history ? 0.6 * std::sin(i / 2400.0) : 0;
    const double spike = history && i == 3 * 3600 ? 2.5 : 0;
    graph->feed(2)->series().append(t, 7.02 + wave + jitter(noise));
    graph->feed(1)->series().append(t + 0.001, 7.00 + wave * 0.8 + jitter(noise) + spike);
  }

  // The newest points through the real plot tick: the switches on, the timer fired by hand.
  window.findChild<widgets::TwoStateSwitch *>(QStringLiteral("cwbPh"))->setChecked(true);
  window.findChild<widgets::TwoStateSwitch *>(QStringLiteral("cwPlot"))->setChecked(true);
  auto *tmrPlot = window.findChild<QTimer *>(QStringLiteral("tmrPlot"));
  if (history) {
    for (int tick = 0; tick < 2; ++tick) {
      window.readTick();
      QTimerEvent event(tmrPlot->timerId());
      QCoreApplication::sendEvent(tmrPlot, &event);
    }
  } else {
    // Both probes held at the values of the synthetic minutes, so the newest points agree too.
    window.state().ph1Value = 7.00;
    window.state().ph2Value = 7.02;
    QTimerEvent event(tmrPlot->timerId());
    QCoreApplication::sendEvent(tmrPlot, &event);
  }
  window.findChild<widgets::TwoStateSwitch *>(QStringLiteral("cwPlot"))->setChecked(false);

  if (history) {
    graph->setSpan(plot::TrendGraph::EightHours);
    const QCPRange shown = graph->xAxis->range();
    graph->xAxis->setRange(shown.lower - 1800, shown.upper - 1800); // as a drag would
  } else {
    graph->setSpan(plot::TrendGraph::TenMinutes);
  }
  graph->feed(1)->refresh();
  graph->feed(2)->refresh();
  graph->replot();
  QCoreApplication::processEvents();
  std::printf("following: %s, span entry: %d\n", graph->isFollowing() ? "yes" : "no",
              graph->span());
  return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
