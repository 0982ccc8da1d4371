// The log window's files beside the log: the run's alarm journal and the calibration history.
#include "history/log_window.h"

#include "history/log_chart.h"
#include "state/quantities.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace history {
namespace {

// Marks this close to the mouse, in pixels, are named in the read-out.
constexpr double kMarkReach = 4;

// The local date and time of wall-clock seconds as the log counts them.
QDateTime localTime(qint64 wallSeconds) {
  return QDateTime(logging::wallDate(wallSeconds),
                   QTime::fromMSecsSinceStartOfDay(logging::wallSecondsOfDay(wallSeconds) * 1000));
}

} // namespace

LogSideFiles readSideFiles(const QString &logPath) {
  LogSideFiles side;
  side.journal = readAlarmJournalFile(logPath, QTimeZone::systemTimeZone());
  side.events = readRunEvents(logPath, QTimeZone::systemTimeZone());
  side.historyPath = calibration::historyFilePath();
  side.historyFound = QFileInfo::exists(side.historyPath);
  side.history = calibration::readHistory(side.historyPath);
  return side;
}

QWidget *LogWindow::buildAlarmList() {
  m_alarmPane = new QWidget;
  auto *layout = new QVBoxLayout(m_alarmPane);
  layout->setContentsMargins(0, 0, 0, 0);
  m_lstAlarms = addCaptionedList(layout, QStringLiteral("&Alarms"), "lstAlarms", 0);
  m_alarmPane->setVisible(false);
  connect(m_lstAlarms, &QListWidget::currentRowChanged, this, &LogWindow::showAlarm);
  return m_alarmPane;
}

void LogWindow::showSideFiles(LogSideFiles side) {
  m_chart->setAlarmMarks({}); // before the marks it points to go
  m_side = std::move(side);
  m_lstAlarms->clear();
  for (const AlarmMark &mark : m_side.journal.marks) {
    QPixmap swatch(12, 12);
    swatch.fill(mark.colour());
    QPainter(&swatch).drawRect(0, 0, 11, 11); // a white mark's swatch on a white list

    QString text = clockText(mark.wallSeconds) + QStringLiteral("  ") + mark.text();
    if (!mark.user.isEmpty())
      text += QStringLiteral(", by ") + mark.user;
    m_lstAlarms->addItem(new QListWidgetItem(QIcon(swatch), text));
  }
  m_alarmPane->setVisible(m_side.journal.found || m_side.events.found);
  m_chart->setAlarmMarks(m_side.journal.marks);
  showRunEvents();
}

// The run's events listed after the alarms, and each resumed run's hole shaded on the chart with
// its length, so that a stretch without records is told from one of steady readings.
void LogWindow::showRunEvents() {
  for (QCPAbstractItem *item : m_holeItems)
    m_chart->removeItem(item);
  m_holeItems.clear();
  for (const RunEvent &event : m_side.events.events) {
    QString text = clockText(event.wallSeconds) + QStringLiteral("  ") + event.text();
    if (!event.user.isEmpty())
      text += QStringLiteral(", by ") + event.user;
    m_lstAlarms->addItem(text);
  }
  showNoteFlags();
  if (!m_log)
    return;
  for (const RunHole &hole : resumedHoles(m_side.events.events, m_log->records))
    addBand(hole.fromWall, hole.toWall, 0, 1, QColor(150, 150, 150, 80), hole.text(), 0.04);
  showNotReadSpans();
}

// Channel by channel, in a lane of its own near the chart's top, the spans in which a channel was
// not read: its records there repeat the last values. A span of every channel fills every lane.
void LogWindow::showNotReadSpans() {
  m_notRead.clear();
  if (m_log->records.empty())
    return;
  m_notRead = notReadSpans(m_side.events.events, m_log->records.back().wallSeconds);
  constexpr double laneTop = 0.1, laneHeight = 0.035;
  const QColor colours[] = {QColor(255, 150, 0, 170), QColor(0, 200, 255, 170),
                            QColor(230, 0, 230, 170)};
  if (m_notRead.empty())
    return;
  for (int lane = 0; lane < state::channelCount; ++lane) { // each lane's name at the chart's right
    auto *name = new QCPItemText(m_chart);
    name->position->setType(QCPItemPosition::ptAxisRectRatio);
    name->position->setCoords(0.997, laneTop + (lane + 0.5) * laneHeight);
    name->setPositionAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name->setText(
        QStringLiteral("%1 not read").arg(QLatin1String(state::channels[size_t(lane)].key)));
    name->setColor(colours[lane]);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    name->setFont(font);
    m_holeItems.push_back(name);
  }
  for (const NotReadSpan &span : m_notRead) {
    const bool every = span.channel < 0;
    const int first = every ? 0 : span.channel;
    const int last = every ? state::channelCount - 1 : span.channel;
    addBand(span.fromWall, span.toWall, laneTop + first * laneHeight,
            laneTop + (last + 1) * laneHeight - 0.005,
            every ? QColor(200, 200, 200, 150) : colours[span.channel], QString(), -1);
  }
}

// A band over [from, to] between two heights of the chart (0 its top, 1 its bottom), behind the
// series, with `text` at `textAt` (a height); no text when `textAt` is negative.
void LogWindow::addBand(qint64 from, qint64 to, double top, double bottom, const QColor &brush,
                        const QString &text, double textAt) {
  auto *band = new QCPItemRect(m_chart);
  band->topLeft->setTypeX(QCPItemPosition::ptPlotCoords);
  band->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
  band->bottomRight->setTypeX(QCPItemPosition::ptPlotCoords);
  band->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
  band->topLeft->setCoords(double(from), top);
  band->bottomRight->setCoords(double(to), bottom);
  band->setPen(Qt::NoPen);
  band->setBrush(brush);
  band->setLayer(QStringLiteral("background"));
  m_holeItems.push_back(band);
  if (textAt < 0)
    return;
  auto *label = new QCPItemText(m_chart);
  label->position->setTypeX(QCPItemPosition::ptPlotCoords);
  label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
  label->position->setCoords((double(from) + double(to)) / 2, textAt);
  label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setText(text);
  label->setColor(QColor(230, 230, 230)); // on the chart's black
  label->setClipToAxisRect(true);
  m_holeItems.push_back(label);
}

QString LogWindow::alarmStatus() const {
  QString status;
  const AlarmJournal &journal = m_side.journal;
  if (journal.found) {
    status = QStringLiteral("; %1 alarm event(s) from %2")
                 .arg(journal.marks.size())
                 .arg(QFileInfo(alarmJournalPath(m_path)).fileName());
    if (journal.damagedLines > 0)
      status += QStringLiteral(", %1 damaged line(s) skipped").arg(journal.damagedLines);
    if (journal.truncated)
      status += QStringLiteral(", only its first %1 MiB read").arg(kMaxAlarmJournalBytes >> 20);
  }
  const RunEvents &events = m_side.events;
  if (!events.found)
    return status;
  if (!events.error.isEmpty())
    return status + QStringLiteral("; run events not read: ") + events.error;
  status += QStringLiteral("; %1 run event(s)").arg(events.events.size());
  if (events.skipped > 0)
    status += QStringLiteral(", %1 damaged line(s) skipped").arg(events.skipped);
  return status;
}

QString LogWindow::notReadAt(double key) const {
  QStringList texts;
  for (const NotReadSpan &span : m_notRead)
    if (key >= double(span.fromWall) && key <= double(span.toWall))
      texts << QStringLiteral("%1 not read (%2)")
                   .arg(span.channel < 0
                            ? QStringLiteral("every channel")
                            : QString::fromLatin1(state::channels[size_t(span.channel)].key),
                        span.why);
  return texts.join(QStringLiteral("   "));
}

QString LogWindow::alarmsNear(double key) const {
  QStringList texts;
  for (const AlarmMark *mark : m_chart->marksNear(key, kMarkReach))
    texts << QStringLiteral("alarm %1 %2").arg(clockText(mark->wallSeconds), mark->text());
  return texts.join(QStringLiteral("   "));
}

void LogWindow::showAlarm(int row) {
  if (!m_log || row < 0 || row >= int(m_side.journal.marks.size()))
    return;
  const double key = double(m_side.journal.marks[size_t(row)].wallSeconds);
  const QCPRange range = m_chart->xAxis->range();
  if (!range.contains(key))
    m_chart->xAxis->setRange(key - range.size() / 2, key + range.size() / 2);
  showCursorAt(key);
  m_chart->replot();
}

QStringList LogWindow::calibrationLines(const logging::LogRun &r) const {
  return history::calibrationLines(*m_log, m_side, r);
}

QStringList calibrationLines(const logging::LogFile &log, const LogSideFiles &side,
                             const logging::LogRun &r) {
  // A run without records began some time on its date: any record made that day may be it.
  const QDateTime start = r.recordCount > 0
                              ? localTime(log.records[size_t(r.firstRecord)].wallSeconds)
                              : QDateTime(r.date, QTime(23, 59, 59));
  QStringList lines{QStringLiteral("Calibration in force at the run's start:")};
  for (int probe = 1; probe <= 2; ++probe) {
    calibration::RunCalibration run;
    run.probe = probe;
    run.serialNumber = probe == 1 ? r.probe1Serial : r.probe2Serial;
    run.offset = logging::headerNumber(probe == 1 ? r.probe1Offset : r.probe2Offset);
    run.slope = logging::headerNumber(probe == 1 ? r.probe1Slope : r.probe2Slope);
    run.start = start;
    lines << calibration::recordInForceText(side.history, run);
  }
  const QString where = QDir::toNativeSeparators(side.historyPath);
  if (!side.historyFound)
    lines << QStringLiteral("There is no calibration history at %1.").arg(where);
  else
    lines << QStringLiteral("Calibration history %1: %2").arg(where, side.history.summary());
  return lines;
}

} // namespace history
