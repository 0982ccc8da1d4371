#pragma once

#include "logging/log_reader.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QThread;
class QCustomPlot;

namespace plot {
class GraphFeed;
}

namespace history {

// Two runs on one chart against the hours since each run's first record, one series at a time
// (object name "frmRunOverlay"): run A solid, run B dashed. The runs come from the log window's
// log, which is the caller's and held while the window shows it, and from other log files that
// "Add File…" reads (on a thread of its own) and the window keeps.
class RunOverlay : public QWidget {
  Q_OBJECT
public:
  // `file` names the log in the run lists; `tell` says why a file added could not be read.
  RunOverlay(const logging::LogFile &log, const QString &file,
             std::function<void(const QString &)> tell, QWidget *parent = nullptr);
  ~RunOverlay() override;

  // Runs are indexes into the window's log's runs; `series` into the log window's series.
  void showRuns(int runA, int runB, int series);
  // Reads another log; its runs join both lists once it is read (fileAdded). Null `path` asks
  // for one with a file chooser.
  void addFile(const QString &path);
  QCustomPlot *chart() const { return m_chart; }

signals:
  void fileAdded(bool ok);

private:
  void fill(int which, int entry, int series);
  void chosen();
  void listRuns(int log, const QString &file);
  void addFileRead();

  // The logs whose runs are listed: the window's first, then those added.
  std::vector<const logging::LogFile *> m_logs;
  std::vector<std::unique_ptr<logging::LogFile>> m_added;
  std::vector<std::pair<int, int>> m_entries; // a list entry's log and run
  QStringList m_entryNames;                   // "night.csv run 2"
  std::function<void(const QString &)> m_tell;
  std::shared_ptr<logging::LogFile> m_reading;
  QString m_readingPath;
  QThread *m_reader = nullptr;
  QPushButton *m_cmdAddFile = nullptr;
  QCustomPlot *m_chart = nullptr;
  std::array<plot::GraphFeed *, 2> m_feeds{};
  QComboBox *m_cmbRunA = nullptr;
  QComboBox *m_cmbRunB = nullptr;
  QComboBox *m_cmbSeries = nullptr;
};

} // namespace history
