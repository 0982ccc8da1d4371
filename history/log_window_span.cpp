// The log window's span and notes: the statistics over a span chosen on the chart or in its two
// time fields, "Copy", the notes' flags on the chart and "Add Note…", and "Export…" of the whole
// file, the chosen run or the span.
#include "history/log_window.h"

#include "common/login_name.h"
#include "history/log_chart.h"
#include "history/run_overlay.h"
#include "history/run_report.h"

#include "logging/log_export.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace history {
namespace {

// Notes this close to the mouse, in pixels, are named in the read-out and the tool tip.
constexpr double kNoteReach = 5;
const QColor kNoteColour(255, 215, 0);

// The time fields show the log's own wall-clock seconds, which read as written when taken as UTC.
QDateTime fieldTime(qint64 wall) { return QDateTime::fromSecsSinceEpoch(wall, Qt::UTC); }

QString spanHint() {
  return QStringLiteral("Shift+drag on the chart, or set the span's two times, for its figures.");
}

bool isNote(const RunEvent &event) { return event.event == QLatin1String(runs::event::note); }

} // namespace

QWidget *LogWindow::buildSpanPane() {
  auto *pane = new QWidget;
  auto *layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  auto *row = new QHBoxLayout;
  const auto timeField = [&](const QString &caption, const char *name) {
    auto *label = new QLabel(caption);
    auto *field = new QDateTimeEdit;
    field->setObjectName(QString::fromLatin1(name));
    // The log's wall-clock seconds are shown as UTC, so that no zone shifts them: Qt 6.7 and
    // later take the zone itself, earlier versions only Qt::UTC.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    field->setTimeZone(QTimeZone::UTC);
#else
    field->setTimeSpec(Qt::UTC);
#endif
    field->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    field->setEnabled(false);
    label->setBuddy(field);
    row->addWidget(label);
    row->addWidget(field);
    connect(field, &QDateTimeEdit::editingFinished, this, &LogWindow::spanFieldsEdited);
    return field;
  };
  m_edtFrom = timeField(QStringLiteral("Span &from"), "edtFrom");
  m_edtTo = timeField(QStringLiteral("&to"), "edtTo");
  m_lblSpan = new QLabel(spanHint());
  m_lblSpan->setObjectName(QStringLiteral("lblSpan"));
  m_cmdCopy = new QPushButton(QStringLiteral("&Copy"));
  m_cmdCopy->setObjectName(QStringLiteral("cmdCopyStats"));
  m_cmdCopy->setEnabled(false);
  connect(m_cmdCopy, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(figuresText()); });
  m_cmdAddNote = new QPushButton(QStringLiteral("Add &Note…"));
  m_cmdAddNote->setObjectName(QStringLiteral("cmdAddNote"));
  m_cmdAddNote->setToolTip(QStringLiteral("Adds a note at the read-out's time (double-click on "
                                          "the chart adds one there)"));
  m_cmdAddNote->setEnabled(false);
  connect(m_cmdAddNote, &QPushButton::clicked, this, [this] {
    if (m_cursorWall)
      addNoteAt(*m_cursorWall);
  });
  row->addWidget(m_lblSpan, 1);
  row->addWidget(m_cmdCopy);
  row->addWidget(m_cmdAddNote);
  layout->addLayout(row);
  m_tblStats = new QTableWidget(0, int(figureTitles().size()));
  m_tblStats->setObjectName(QStringLiteral("tblStats"));
  m_tblStats->setAccessibleName(QStringLiteral("Statistics over the span"));
  m_tblStats->setHorizontalHeaderLabels(figureTitles());
  m_tblStats->verticalHeader()->setVisible(false);
  m_tblStats->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_tblStats->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(m_tblStats, 1);
  return pane;
}

void LogWindow::followChartMouse() {
  connect(m_chart, &QCustomPlot::mousePress, this, [this](QMouseEvent *e) {
    if (!m_log || e->button() != Qt::LeftButton || !(e->modifiers() & Qt::ShiftModifier))
      return;
    // The chart pans on a plain drag; Shift chooses a span instead.
    m_dragFrom = m_chart->xAxis->pixelToCoord(e->position().x());
    m_chart->setInteraction(QCP::iRangeDrag, false);
  });
  connect(m_chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent *e) {
    const double key = m_chart->xAxis->pixelToCoord(e->position().x());
    if (m_dragFrom)
      setSpan(qint64(std::floor(std::min(*m_dragFrom, key))),
              qint64(std::ceil(std::max(*m_dragFrom, key))));
    showCursorAt(key);
  });
  connect(m_chart, &QCustomPlot::mouseRelease, this, [this](QMouseEvent *) {
    m_dragFrom.reset();
    m_chart->setInteraction(QCP::iRangeDrag, true);
  });
  connect(m_chart, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *e) {
    if (!m_log)
      return;
    showCursorAt(m_chart->xAxis->pixelToCoord(e->position().x()));
    if (m_cursorWall)
      addNoteAt(*m_cursorWall);
  });
}

void LogWindow::setSpan(qint64 from, qint64 to) {
  if (!m_log)
    return;
  m_span = Span{std::min(from, to), std::max(from, to)};
  const QSignalBlocker blockFrom(m_edtFrom), blockTo(m_edtTo);
  m_edtFrom->setDateTime(fieldTime(m_span->from));
  m_edtTo->setDateTime(fieldTime(m_span->to));
  if (!m_spanBand) {
    auto *band = new QCPItemRect(m_chart);
    band->topLeft->setTypeX(QCPItemPosition::ptPlotCoords);
    band->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
    band->bottomRight->setTypeX(QCPItemPosition::ptPlotCoords);
    band->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
    band->setPen(QPen(QColor(120, 170, 255), 1));
    band->setBrush(QColor(120, 170, 255, 50));
    band->setLayer(QStringLiteral("background"));
    m_spanBand = band;
  }
  auto *band = static_cast<QCPItemRect *>(m_spanBand);
  band->topLeft->setCoords(double(m_span->from), 0);
  band->bottomRight->setCoords(double(m_span->to), 1);
  showFigures();
  m_chart->replot(QCustomPlot::rpQueuedReplot);
}

void LogWindow::clearSpan() {
  m_span.reset();
  m_cursorWall.reset();
  if (m_spanBand)
    m_chart->removeItem(m_spanBand);
  m_spanBand = nullptr;
  m_cmdAddNote->setEnabled(false);
  showFigures();
}

void LogWindow::setSpanFieldRanges() {
  if (m_log->records.empty())
    return;
  const auto [first, last] = std::minmax_element(
      m_log->records.begin(), m_log->records.end(),
      [](const auto &a, const auto &b) { return a.wallSeconds < b.wallSeconds; });
  for (QDateTimeEdit *field : {m_edtFrom, m_edtTo}) {
    const QSignalBlocker block(field);
    field->setDateTimeRange(fieldTime(first->wallSeconds), fieldTime(last->wallSeconds));
    field->setDateTime(fieldTime(field == m_edtFrom ? first->wallSeconds : last->wallSeconds));
    field->setEnabled(true);
  }
}

void LogWindow::spanFieldsEdited() {
  setSpan(m_edtFrom->dateTime().toSecsSinceEpoch(), m_edtTo->dateTime().toSecsSinceEpoch());
}

std::vector<SeriesSource> LogWindow::shownSources() const {
  std::vector<SeriesSource> sources;
  for (int i = 0; i < kLogSeriesCount; ++i) {
    if (!m_columns[i]->isChecked())
      continue;
    const LogSeries &s = kLogSeries[size_t(i)];
    sources.push_back({QString::fromUtf8(s.caption), QString::fromUtf8(state::info(s.quantity).unit),
                       s.places(),
                       [view = m_chart->view(), i](const logging::LogRecord &r) {
                         return LogChart::valueIn(view, i, r);
                       }});
  }
  return sources;
}

void LogWindow::showFigures() {
  m_tblStats->setRowCount(0);
  m_cmdCopy->setEnabled(false);
  if (!m_log || !m_span) {
    m_figures = {};
    m_lblSpan->setText(spanHint());
    return;
  }
  if (m_log->overview()) {
    figuresFromFile();
    return;
  }
  m_figures = spanFigures(m_log->records, *m_span, shownSources());
  showFigureTable();
}

void LogWindow::showFigureTable() {
  const QString span = clockText(m_span->from) + QStringLiteral(" to ") + clockText(m_span->to);
  if (m_figures.empty()) {
    m_lblSpan->setText(QStringLiteral("No record in the span %1.").arg(span));
    return;
  }
  m_lblSpan->setText(QStringLiteral("Span %1").arg(span));
  const std::vector<QStringList> rows = figureRows(m_figures, QLocale());
  m_tblStats->setRowCount(int(rows.size()));
  for (int r = 0; r < int(rows.size()); ++r)
    for (int c = 0; c < rows[size_t(r)].size(); ++c) {
      auto *item = new QTableWidgetItem(rows[size_t(r)][c]);
      if (c >= 2)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      m_tblStats->setItem(r, c, item);
    }
  m_cmdCopy->setEnabled(true);
}

QString LogWindow::figuresText() const {
  if (!m_span || m_figures.empty())
    return {};
  return figuresTsv(m_figures, QLocale());
}

bool LogWindow::addNoteAt(qint64 wallSeconds) {
  if (!m_log || m_worker)
    return false;
  const QString when = clockText(wallSeconds);
  std::optional<QString> text;
  if (m_services.askNote) {
    text = m_services.askNote(this, when);
  } else {
    bool ok = false;
    const QString typed = QInputDialog::getText(this, QStringLiteral("Add Note"),
                                                QStringLiteral("Note at %1:").arg(when),
                                                QLineEdit::Normal, QString(), &ok);
    if (ok)
      text = typed;
  }
  if (!text || text->trimmed().isEmpty())
    return false;
  // The log's wall clock is local time: the journal keeps UTC.
  const QDateTime local(logging::wallDate(wallSeconds),
                        QTime::fromMSecsSinceStartOfDay(logging::wallSecondsOfDay(wallSeconds) * 1000),
                        QTimeZone::systemTimeZone());
  QString failure;
  runs::EventsJournal journal(eventsJournalPath(m_path),
                              [&failure](const QString &message) { failure = message; });
  journal.append({local.toMSecsSinceEpoch(), QString::fromLatin1(runs::event::note),
                  text->trimmed(),
                  m_services.user.isEmpty() ? common::loginName() : m_services.user});
  if (!failure.isEmpty()) {
    showMessage(failure);
    return false;
  }
  LogSideFiles side = m_sidePane->side();
  side.events = readRunEvents(m_path, QTimeZone::systemTimeZone());
  showSideFiles(std::move(side));
  m_lblStatus->setText(m_fileStatus + m_sidePane->status());
  return true;
}

// A flag for each note: a dotted line across the chart and a flag at its top in the notes'
// colour; the text shows in the read-out and the tool tip when the mouse is near.
void LogWindow::showNoteFlags() {
  for (QCPAbstractItem *item : m_noteItems)
    m_chart->removeItem(item);
  m_noteItems.clear();
  for (const RunEvent &event : m_sidePane->side().events.events) {
    if (!isNote(event))
      continue;
    auto *line = new QCPItemStraightLine(m_chart);
    line->point1->setCoords(double(event.wallSeconds), 0);
    line->point2->setCoords(double(event.wallSeconds), 1);
    line->setPen(QPen(kNoteColour, 1, Qt::DotLine));
    auto *flag = new QCPItemText(m_chart);
    flag->position->setTypeX(QCPItemPosition::ptPlotCoords);
    flag->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    flag->position->setCoords(double(event.wallSeconds), 0);
    flag->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    flag->setText(QStringLiteral("⚑ ") + event.detail.left(24).split(QLatin1Char('\n')).first());
    flag->setColor(Qt::black);
    flag->setBrush(kNoteColour);
    flag->setClipToAxisRect(true);
    m_noteItems.insert(m_noteItems.end(), {line, flag});
  }
}

QString LogWindow::notesNear(double key) const {
  QStringList texts;
  const double x = m_chart->xAxis->coordToPixel(key);
  for (const RunEvent &event : m_sidePane->side().events.events)
    if (isNote(event) &&
        std::abs(m_chart->xAxis->coordToPixel(double(event.wallSeconds)) - x) <= kNoteReach)
      texts << QStringLiteral("note %1 %2%3")
                   .arg(clockText(event.wallSeconds), event.detail,
                        event.user.isEmpty() ? QString() : QStringLiteral(", by ") + event.user);
  return texts.join(QStringLiteral("   "));
}

QWidget *LogWindow::openOverlay() {
  if (!m_log || m_log->runs.size() < 2)
    return nullptr;
  delete m_overlay;
  auto *overlay = new RunOverlay(*m_log, m_path, [this](const QString &why) { showMessage(why); },
                                 this);
  overlay->setAttribute(Qt::WA_DeleteOnClose);
  const int runA = std::max(0, m_lstRuns->currentRow());
  const int runB = runA + 1 < m_log->runs.size() ? runA + 1 : 0;
  int series = 0;
  while (series + 1 < kLogSeriesCount && !m_columns[series]->isChecked())
    ++series;
  overlay->showRuns(runA, runB, series);
  overlay->show();
  m_overlay = overlay;
  return overlay;
}

bool LogWindow::exportReport() {
  if (!m_log || m_worker)
    return false;
  const QString suggested = QFileInfo(m_path).completeBaseName() + QStringLiteral(".pdf");
  const QString out = m_services.askExportPath
                          ? m_services.askExportPath(this, suggested)
                          : QFileDialog::getSaveFileName(
                                this, QStringLiteral("Export Report"),
                                QFileInfo(m_path).dir().filePath(suggested),
                                QStringLiteral("PDF (*.pdf)"));
  if (out.isEmpty())
    return false;
  if (m_log->overview()) {
    reportFromFile(out);
    return true;
  }
  ReportRequest request;
  request.logPath = m_path, request.log = m_log.get(), request.side = &m_sidePane->side();
  request.run = std::max(0, m_lstRuns->currentRow());
  if (m_span)
    request.fromWall = m_span->from, request.toWall = m_span->to;
  QFile file(m_path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  QString error;
  if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
    error = QStringLiteral("Cannot read %1: %2").arg(m_path, file.errorString());
  request.sha256Hex = hash.result().toHex();
  if (error.isEmpty() && writeRunReport(request, out, &error)) {
    m_lblStatus->setText(QStringLiteral("Report written to %1").arg(QDir::toNativeSeparators(out)));
    return true;
  }
  m_lblStatus->setText(error);
  showMessage(error);
  return false;
}

std::optional<logging::LogSelection> LogWindow::askSelection() {
  QStringList choices{QStringLiteral("The whole file")};
  std::vector<logging::LogSelection> selections{{}};
  const int run = m_lstRuns->currentRow();
  if (run >= 0 && run < m_log->runs.size()) {
    choices << QStringLiteral("The chosen run: ") + runTitle(run);
    selections.push_back({run, std::nullopt, std::nullopt});
  }
  if (m_span) {
    choices << QStringLiteral("The chosen span: %1 to %2")
                   .arg(clockText(m_span->from), clockText(m_span->to));
    selections.push_back({-1, m_span->from, m_span->to});
  }
  int chosen = 0;
  if (m_services.askExportChoice) {
    chosen = m_services.askExportChoice(this, choices);
  } else if (choices.size() > 1) {
    bool ok = false;
    const QString item = QInputDialog::getItem(this, QStringLiteral("Export"),
                                               QStringLiteral("Export:"), choices, 0, false, &ok);
    chosen = ok ? int(choices.indexOf(item)) : -1;
  }
  if (chosen < 0 || chosen >= int(selections.size()))
    return std::nullopt;
  return selections[size_t(chosen)];
}

void LogWindow::exportTable() {
  if (!m_log || m_worker)
    return;
  const std::optional<logging::LogSelection> selection = askSelection();
  if (!selection)
    return;
  const QString suggested = QFileInfo(m_path).completeBaseName() + QStringLiteral(".xlsx");
  const QString path =
      m_services.askExportPath
          ? m_services.askExportPath(this, suggested)
          : QFileDialog::getSaveFileName(
                this, QStringLiteral("Export"), QFileInfo(m_path).dir().filePath(suggested),
                QStringLiteral("Excel workbook (*.xlsx);;CSV table (*.csv)"));
  if (!path.isEmpty())
    exportChosen(*selection, path);
}

} // namespace history
