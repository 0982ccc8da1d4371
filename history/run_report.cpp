#include "history/run_report.h"

#include "history/log_chart.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace history {
namespace {

QString clock(qint64 wall) { return logging::wallIsoText(wall).replace(QLatin1Char('T'), ' '); }

QString lengthText(qint64 seconds) {
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Without shaping, "ff" stays two letters that a PDF's reader finds as typed, not a ligature.
QFont reportFont(double points) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(points);
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

// Lays text, tables and charts down A4 pages one after the other, a page number at each foot.
class Pages {
public:
  // `total` pages in all, when known, for the feet's "Page N of M".
  Pages(QPdfWriter &writer, int total) : m_writer(writer), m_painter(&writer), m_total(total) {}
  int page() const { return m_page; }
  bool active() const { return m_painter.isActive(); }
  int width() const { return m_writer.width(); }
  QCPPainter &painter() { return m_painter; }

  // A new page unless `height` pixels fit on this one.
  void keep(int height) {
    if (m_y > 0 && m_y + height > bodyHeight())
      nextPage();
  }
  // Room for `height` pixels on this page, or a new page.
  int take(int height) {
    if (m_y > 0 && m_y + height > bodyHeight())
      nextPage();
    const int top = m_y;
    m_y += height;
    return top;
  }
  void text(const QString &text, double points = 9, bool bold = false) {
    QFont font = reportFont(points);
    font.setBold(bold);
    m_painter.setFont(font);
    m_painter.setPen(Qt::black);
    const QRect bounds = m_painter.boundingRect(QRect(0, 0, width(), 100000),
                                                Qt::TextWordWrap, text);
    const int top = take(bounds.height());
    m_painter.drawText(QRect(0, top, width(), bounds.height()), Qt::TextWordWrap, text);
  }
  void gap(int pixels) { m_y = std::min(m_y + pixels, bodyHeight()); }
  void row(const QStringList &cells, bool bold) {
    QFont font = reportFont(6.5);
    font.setBold(bold);
    m_painter.setFont(font);
    const int height = m_painter.fontMetrics().height() + 4;
    const int top = take(height);
    // The series' name takes two shares of the width, every other cell one.
    const int share = width() / int(cells.size() + 1);
    for (int c = 0, x = 0; c < cells.size(); ++c) {
      const int cell = c == 0 ? 2 * share : share;
      m_painter.drawText(QRect(x, top, cell - 4, height),
                         (c < 2 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, cells[c]);
      x += cell;
    }
  }
  void finish() {
    footer();
    m_painter.end();
  }

private:
  int bodyHeight() const { return m_writer.height() - 40; }
  void footer() {
    QFont font = reportFont(8);
    m_painter.setFont(font);
    m_painter.drawText(QRect(0, m_writer.height() - 24, width(), 24), Qt::AlignCenter,
                       m_total > 0 ? QStringLiteral("Page %1 of %2").arg(m_page).arg(m_total)
                                   : QStringLiteral("Page %1").arg(m_page));
  }
  void nextPage() {
    footer();
    m_writer.newPage();
    ++m_page;
    m_y = 0;
  }

  QPdfWriter &m_writer;
  QCPPainter m_painter;
  int m_y = 0;
  int m_page = 1;
  int m_total;
};

struct Dated {
  qint64 wall;
  QString text;
};

// The alarms, events and notes from the run's start to its end, in time order.
std::vector<Dated> runHappenings(const LogSideFiles &side, const Span &span) {
  std::vector<Dated> out;
  const auto by = [](const QString &user) {
    return user.isEmpty() ? QString() : QStringLiteral(", by ") + user;
  };
  for (const AlarmMark &mark : side.journal.marks)
    if (mark.wallSeconds >= span.from && mark.wallSeconds <= span.to)
      out.push_back({mark.wallSeconds, QStringLiteral("alarm ") + mark.text() + by(mark.user)});
  for (const RunEvent &event : side.events.events)
    if (event.wallSeconds >= span.from && event.wallSeconds <= span.to)
      out.push_back({event.wallSeconds, event.text() + by(event.user)});
  std::stable_sort(out.begin(), out.end(),
                   [](const Dated &a, const Dated &b) { return a.wall < b.wall; });
  return out;
}

// One chart of the series `shown` over the span, drawn as the log window draws it.
void drawChart(Pages &pages, LogChart &chart, const Span &span, std::initializer_list<int> shown,
               const QString &title) {
  LogChartView view;
  for (int series : shown)
    view.shown[size_t(series)] = true;
  chart.showSeries(view);
  const double margin = std::max(1.0, double(span.to - span.from) * 0.01);
  chart.xAxis->setRange(double(span.from) - margin, double(span.to) + margin);
  const int width = pages.width(), height = width * 9 / 20;
  chart.resize(width, height);
  chart.replot(); // the feeds take the points of this width and range
  // The value axes fit the run's readings, not the whole file's.
  std::vector<QCPAxis *> fitted;
  for (int series : shown) {
    QCPGraph *graph = chart.graph(series);
    const bool first = std::find(fitted.begin(), fitted.end(), graph->valueAxis()) == fitted.end();
    graph->rescaleValueAxis(!first, true);
    if (first)
      fitted.push_back(graph->valueAxis());
  }
  for (QCPAxis *axis : fitted) {
    const QCPRange r = axis->range();
    const double margin = r.size() > 0 ? r.size() * 0.05 : 0.5;
    axis->setRange(r.lower - margin, r.upper + margin);
  }
  chart.replot();
  pages.keep(height + 30);
  pages.text(title, 10, true);
  const int top = pages.take(height);
  pages.painter().save();
  pages.painter().translate(0, top);
  chart.toPainter(&pages.painter(), width, height);
  pages.painter().restore();
  pages.gap(12);
}

void drawReport(Pages &pages, const ReportRequest &request, const Span &span) {
  const logging::LogFile &log = *request.log;
  const logging::LogRun &run = log.runs[request.run];
  pages.text(QStringLiteral("Brellis run report"), 16, true);
  pages.gap(6);
  pages.text(QStringLiteral("File: %1").arg(QFileInfo(request.logPath).fileName()));
  pages.text(QStringLiteral("SHA-256: %1").arg(QString::fromLatin1(request.sha256Hex)), 8);
  pages.text(QStringLiteral("Run %1 of %2, header at line %3")
                 .arg(request.run + 1)
                 .arg(log.runs.size())
                 .arg(run.headerLine));
  pages.text(QStringLiteral("Start: %1   End: %2   Length: %3")
                 .arg(clock(span.from), clock(span.to), lengthText(span.to - span.from)));
  if (request.fromWall || request.toWall)
    pages.text(QStringLiteral("The figures and charts cover the span chosen within the run."));
  pages.gap(10);
  pages.text(QStringLiteral("Calibration in the run's header"), 11, true);
  for (const logging::ProbeFieldInfo &field : logging::kProbeFields)
    pages.text(logging::schemaText(field.label) + run.*field.member);
  pages.gap(5);
  for (const QString &line : calibrationLines(log, *request.side, run))
    pages.text(line);
  pages.gap(10);

  LogChart chart;
  chart.setLog(&log);
  chart.setAlarmMarks(request.side->journal.marks);
  chart.showSeries({});
  const SpanFigures figures = request.figures ? *request.figures
                                              : spanFigures(log.records, span, reportSeries(chart.view()));
  pages.text(QStringLiteral("Statistics (pH with the corrections, temperatures with the offsets)"),
             11, true);
  pages.row(figureTitles(), true);
  for (const QStringList &row : figureRows(figures, QLocale::c()))
    pages.row(row, false);
  pages.gap(12);

  drawChart(pages, chart, span, {0, 1}, QStringLiteral("pH"));
  drawChart(pages, chart, span, {2, 3, 4}, QStringLiteral("Temperatures"));
  drawChart(pages, chart, span, {5}, QStringLiteral("Flow"));

  pages.text(QStringLiteral("Alarms, events and notes"), 11, true);
  const std::vector<Dated> happenings = runHappenings(*request.side, span);
  if (happenings.empty())
    pages.text(QStringLiteral("None."));
  for (const Dated &d : happenings)
    pages.text(clock(d.wall) + QStringLiteral("  ") + d.text, 8);
}

} // namespace

std::vector<SeriesSource> reportSeries(const LogChartView &view) {
  std::vector<SeriesSource> sources;
  for (int i = 0; i < kLogSeriesCount - 1; ++i) { // every series but the total
    const LogSeries &s = kLogSeries[size_t(i)];
    sources.push_back({QString::fromUtf8(s.caption), QString::fromUtf8(state::info(s.quantity).unit),
                       s.places(), [view, i](const logging::LogRecord &r) {
                         return LogChart::valueIn(view, i, r);
                       }});
  }
  return sources;
}

bool writeRunReport(const ReportRequest &request, const QString &outPath, QString *error) {
  const logging::LogFile &log = *request.log;
  const logging::LogRun &run = log.runs[request.run];
  Span span{std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(), request.run};
  for (qsizetype i = run.firstRecord; i < run.firstRecord + run.recordCount; ++i) {
    const logging::LogRecord &r = log.records[size_t(i)];
    if ((request.fromWall && r.wallSeconds < *request.fromWall) ||
        (request.toWall && r.wallSeconds > *request.toWall))
      continue;
    span.from = std::min(span.from, r.wallSeconds);
    span.to = std::max(span.to, r.wallSeconds);
  }
  if (span.from > span.to) {
    *error = QStringLiteral("run %1 of %2 has no record to report")
                 .arg(request.run + 1)
                 .arg(request.logPath);
    return false;
  }
  QSaveFile file(outPath);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = QStringLiteral("Cannot write %1: %2").arg(outPath, file.errorString());
    return false;
  }
  // Laid out once in memory to count the pages, then into the file.
  QBuffer scratch;
  scratch.open(QIODevice::WriteOnly);
  int total = 0;
  for (QIODevice *device : {static_cast<QIODevice *>(&scratch), static_cast<QIODevice *>(&file)}) {
    QPdfWriter writer(device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    // The charts lay out their labels at the screen's 96 dots an inch: the page uses the same.
    writer.setResolution(96);
    writer.setCreator(QStringLiteral("Brellis 2.4.1"));
    writer.setTitle(QStringLiteral("Run %1 of %2")
                        .arg(request.run + 1)
                        .arg(QFileInfo(request.logPath).fileName()));
    Pages pages(writer, total);
    if (!pages.active()) {
      *error = QStringLiteral("Cannot write %1: the PDF could not be started").arg(outPath);
      return false;
    }
    drawReport(pages, request, span);
    total = pages.page();
    pages.finish();
  }
  if (!file.commit()) {
    *error = QStringLiteral("Cannot write %1: %2").arg(outPath, file.errorString());
    return false;
  }
  return true;
}

} // namespace history
