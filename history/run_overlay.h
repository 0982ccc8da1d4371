#pragma once

#include "logging/log_reader.h"

#include <QWidget>

#include <array>

class QComboBox;
class QCustomPlot;

namespace plot {
class GraphFeed;
}

namespace history {

// Two runs of a log on one chart against the hours since each run's first record, one series at
// a time (object name "frmRunOverlay"): run A solid, run B dashed. The log is the caller's and is
// held while the window shows it.
class RunOverlay : public QWidget {
  Q_OBJECT
public:
  RunOverlay(const logging::LogFile &log, QWidget *parent = nullptr);

  // Runs are indexes into the log's runs; `series` into the log window's series. Redraws.
  void showRuns(int runA, int runB, int series);
  QCustomPlot *chart() const { return m_chart; }

private:
  void fill(int which, int run, int series);
  void chosen();

  const logging::LogFile &m_log;
  QCustomPlot *m_chart = nullptr;
  std::array<plot::GraphFeed *, 2> m_feeds{};
  QComboBox *m_cmbRunA = nullptr;
  QComboBox *m_cmbRunB = nullptr;
  QComboBox *m_cmbSeries = nullptr;
};

} // namespace history
