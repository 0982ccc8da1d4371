#include "history/log_side_pane.h"

#include "history/log_chart.h"
#include "history/log_window.h"
#include "state/quantities.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
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

LogSidePane::LogSidePane(LogChart &chart, QObject *parent) : QObject(parent), m_chart(chart) {
  m_pane = new QWidget;
  auto *layout = new QVBoxLayout(m_pane);
  layout->setContentsMargins(0, 0, 0, 0);
  auto *label = new QLabel(QStringLiteral("&Alarms"));
  m_lstAlarms = new QListWidget;
  m_lstAlarms->setObjectName(QStringLiteral("lstAlarms"));
  m_lstAlarms->setWordWrap(true);
  m_lstAlarms->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  label->setBuddy(m_lstAlarms);
  layout->addWidget(label);
  layout->addWidget(m_lstAlarms);
  m_pane->setVisible(false);
  connect(m_lstAlarms, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < int(m_side.journal.marks.size()))
      emit alarmChosen(double(m_side.journal.marks[size_t(row)].wallSeconds));
  });
}

void LogSidePane::show(LogSideFiles side, const QString &logPath, const logging::LogFile *log) {
  m_chart.setAlarmMarks({}); // before the marks it points to go
  m_side = std::move(side);
  m_logPath = logPath;
  m_lstAlarms->clear();
  for (const AlarmMark &mark : m_side.journal.marks) {
    QPixmap swatch(12, 12);
    swatch.fill(mark.colour());
    QPainter(&swatch).drawRect(0, 0, 11, 11); // a white mark's swatch on a white list

    QString text = LogWindow::clockText(mark.wallSeconds) + QStringLiteral("  ") + mark.text();
    if (!mark.user.isEmpty())
      text += QStringLiteral(", by ") + mark.user;
    m_lstAlarms->addItem(new QListWidgetItem(QIcon(swatch), text));
  }
  m_pane->setVisible(m_side.journal.found || m_side.events.found);
  m_chart.setAlarmMarks(m_side.journal.marks);
  showRunEvents(log);
}

// The run's events listed after the alarms, and each resumed run's hole shaded on the chart with
// its length, so that a stretch without records is told from one of steady readings.
void LogSidePane::showRunEvents(const logging::LogFile *log) {
  for (QCPAbstractItem *item : m_items)
    m_chart.removeItem(item);
  m_items.clear();
  m_notRead.clear();
  for (const RunEvent &event : m_side.events.events) {
    QString text = LogWindow::clockText(event.wallSeconds) + QStringLiteral("  ") + event.text();
    if (!event.user.isEmpty())
      text += QStringLiteral(", by ") + event.user;
    m_lstAlarms->addItem(text);
  }
  emit eventsShown();
  if (!log)
    return;
  for (const RunHole &hole : resumedHoles(m_side.events.events, log->records))
    addBand(hole.fromWall, hole.toWall, 0, 1, QColor(150, 150, 150, 80), hole.text(), 0.04);
  showNotReadSpans(*log);
}

// Channel by channel, in a lane of its own near the chart's top, the spans in which a channel was
// not read: its records there repeat the last values. A span of every channel fills every lane.
void LogSidePane::showNotReadSpans(const logging::LogFile &log) {
  if (log.records.empty())
    return;
  m_notRead = notReadSpans(m_side.events.events, log.records.back().wallSeconds);
  constexpr double laneTop = 0.1, laneHeight = 0.035;
  const QColor colours[] = {QColor(255, 150, 0, 170), QColor(0, 200, 255, 170),
                            QColor(230, 0, 230, 170)};
  if (m_notRead.empty())
    return;
  for (int lane = 0; lane < state::channelCount; ++lane) { // each lane's name at the chart's right
    auto *name = new QCPItemText(&m_chart);
    name->position->setType(QCPItemPosition::ptAxisRectRatio);
    name->position->setCoords(0.997, laneTop + (lane + 0.5) * laneHeight);
    name->setPositionAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name->setText(
        QStringLiteral("%1 not read").arg(QLatin1String(state::channels[size_t(lane)].key)));
    name->setColor(colours[lane]);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    name->setFont(font);
    m_items.push_back(name);
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
void LogSidePane::addBand(qint64 from, qint64 to, double top, double bottom, const QColor &brush,
                          const QString &text, double textAt) {
  auto *band = new QCPItemRect(&m_chart);
  band->topLeft->setTypeX(QCPItemPosition::ptPlotCoords);
  band->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
  band->bottomRight->setTypeX(QCPItemPosition::ptPlotCoords);
  band->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
  band->topLeft->setCoords(double(from), top);
  band->bottomRight->setCoords(double(to), bottom);
  band->setPen(Qt::NoPen);
  band->setBrush(brush);
  band->setLayer(QStringLiteral("background"));
  m_items.push_back(band);
  if (textAt < 0)
    return;
  auto *label = new QCPItemText(&m_chart);
  label->position->setTypeX(QCPItemPosition::ptPlotCoords);
  label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
  label->position->setCoords((double(from) + double(to)) / 2, textAt);
  label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setText(text);
  label->setColor(QColor(230, 230, 230)); // on the chart's black
  label->setClipToAxisRect(true);
  m_items.push_back(label);
}

QString LogSidePane::status() const {
  QString status;
  const AlarmJournal &journal = m_side.journal;
  if (journal.found) {
    status = QStringLiteral("; %1 alarm event(s) from %2")
                 .arg(journal.marks.size())
                 .arg(QFileInfo(alarmJournalPath(m_logPath)).fileName());
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

QString LogSidePane::notReadAt(double key) const {
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

QString LogSidePane::alarmsNear(double key) const {
  QStringList texts;
  for (const AlarmMark *mark : m_chart.marksNear(key, kMarkReach))
    texts
        << QStringLiteral("alarm %1 %2").arg(LogWindow::clockText(mark->wallSeconds), mark->text());
  return texts.join(QStringLiteral("   "));
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
