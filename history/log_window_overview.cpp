// The log window on a log too long to hold: its span's figures and its exports read the file
// again, as they go, on the worker thread.
#include "history/log_window.h"

#include "history/run_report.h"
#include "logging/log_export.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QThread>

#include <utility>

namespace history {

namespace {

// Figures a span from every record of the file, as it goes.
class FigureSink : public logging::LogSink {
public:
  explicit FigureSink(FigureAccumulator &figures) : m_figures(figures) {}
  void run(const logging::LogRun &) override {}
  bool record(const logging::LogRecord &r) override {
    m_figures.add(r);
    return true;
  }

private:
  FigureAccumulator &m_figures;
};

} // namespace

void LogWindow::figuresFromFile() {
  if (m_worker) {
    m_figuresPending = true;
    return;
  }
  m_lblSpan->setText(QStringLiteral("Reading the span's records from the file…"));
  auto figures = std::make_shared<FigureAccumulator>(*m_span, shownSources());
  auto ok = std::make_shared<bool>(false);
  startWorker([path = m_path, figures, ok](const logging::LogProgress &progress) {
    QFile in(path);
    FigureSink sink(*figures);
    *ok = in.open(QIODevice::ReadOnly) && logging::readLog(in, sink, progress).ok;
  });
  connect(m_worker, &QThread::finished, this, [this, figures, ok] {
    stopWorker();
    if (*ok)
      m_figures = figures->result();
    if (std::exchange(m_figuresPending, false) && m_span) {
      figuresFromFile();
      return;
    }
    if (*ok)
      showFigureTable();
    else
      m_lblSpan->setText(QStringLiteral("The span's figures were not read."));
  });
  m_worker->start();
}

void LogWindow::exportFromFile(const logging::LogSelection &selection, const QString &path) {
  auto error = std::make_shared<QString>();
  auto taken = std::make_shared<qint64>(-1);
  m_lblStatus->setText(QStringLiteral("Exporting to %1").arg(QDir::toNativeSeparators(path)));
  startWorker([in = m_path, path, selection, error, taken](const logging::LogProgress &progress) {
    auto table = logging::TableWriter::open(path, error.get());
    QFile file(in);
    if (!table || !file.open(QIODevice::ReadOnly)) {
      if (table)
        *error = QStringLiteral("Cannot read %1: %2").arg(in, file.errorString());
      return;
    }
    logging::SelectedRecords selected(*table, selection);
    const logging::LogReadSummary read = logging::readLog(file, selected, progress);
    if (!read.ok)
      *error = read.cancelled ? QStringLiteral("The export was cancelled.")
                              : (table->errorText().isEmpty() ? read.error : table->errorText());
    else if (!table->finish())
      *error = table->errorText();
    else
      *taken = selected.taken();
  });
  connect(m_worker, &QThread::finished, this, [this, path, error, taken] {
    const bool cancelled = m_cancel->load();
    stopWorker();
    if (*taken >= 0)
      m_lblStatus->setText(QStringLiteral("Exported %1 record(s) to %2")
                               .arg(*taken)
                               .arg(QDir::toNativeSeparators(path)));
    else
      m_lblStatus->setText(cancelled ? QStringLiteral("Export cancelled") : *error);
    if (*taken < 0 && !cancelled)
      showMessage(*error);
    emit exported(*taken >= 0);
  });
  m_worker->start();
}

void LogWindow::reportFromFile(const QString &out) {
  auto streamed = std::make_shared<StreamedRun>();
  auto error = std::make_shared<QString>();
  auto ok = std::make_shared<bool>(false);
  logging::LogSelection span;
  if (m_span)
    span.fromWall = m_span->from, span.toWall = m_span->to;
  m_lblStatus->setText(QStringLiteral("Reading %1 for the report").arg(QDir::toNativeSeparators(m_path)));
  startWorker([path = m_path, run = std::max(0, m_lstRuns->currentRow()) + 1, span, streamed, error,
               ok](const logging::LogProgress &progress) {
    *ok = readRunForReport(path, run, span, streamed.get(), error.get(), progress);
  });
  connect(m_worker, &QThread::finished, this, [this, out, streamed, error, ok] {
    stopWorker();
    if (*ok && writeRunReport(streamed->request(m_path, m_sidePane->side()), out, error.get())) {
      m_lblStatus->setText(QStringLiteral("Report written to %1").arg(QDir::toNativeSeparators(out)));
      emit reportRead(true);
      return;
    }
    m_lblStatus->setText(*error);
    if (*error != QLatin1String("the report was cancelled"))
      showMessage(*error);
    emit reportRead(false);
  });
  m_worker->start();
}

} // namespace history
