#include "stations/station_tile.h"

#include "widgets/numeric_display.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace stations {
namespace {

const QColor readingColour{Qt::green};
const QColor staleColour{Qt::darkYellow};
const QColor greyColour{Qt::gray};
const QColor alarmColour{0xE0, 0x20, 0x20};

void setTextIfChanged(QLabel *label, const QString &text) {
  if (label->text() != text)
    label->setText(text);
}

void setDisplayColour(QLabel *label, const QColor &colour) {
  QPalette palette = label->palette();
  if (palette.color(QPalette::WindowText) == colour)
    return;
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    palette.setColor(group, QPalette::WindowText, colour);
  label->setPalette(palette);
}

QString stateWord(StationState state) {
  switch (state) {
  case StationState::Online:
    return QStringLiteral("online");
  case StationState::Stale:
    return QStringLiteral("stale");
  case StationState::Offline:
    return QStringLiteral("offline");
  case StationState::Unknown:
    break;
  }
  return QStringLiteral("no status yet");
}

} // namespace

QString readableName(const QString &name) {
  const auto hidden = [](uint c) {
    const QChar::Category category = QChar::category(char32_t(c));
    return QChar::isSpace(char32_t(c)) || category == QChar::Other_Control ||
           category == QChar::Other_Format || category == QChar::Other_NotAssigned ||
           category == QChar::Other_Surrogate || category == QChar::Mark_NonSpacing ||
           category == QChar::Mark_Enclosing;
  };
  const auto codePoint = [](uint c) {
    return QStringLiteral("U+%1").arg(c, 4, 16, QLatin1Char('0')).toUpper();
  };
  const QList<uint> codes = name.toUcs4();
  if (std::none_of(codes.begin(), codes.end(), [&](uint c) { return !hidden(c); })) {
    QStringList escaped;
    for (const uint c : codes)
      escaped << codePoint(c);
    return escaped.join(QLatin1Char(' '));
  }
  QString readable;
  for (const uint c : codes) {
    // A control character (a line break) would break the title into lines.
    if (QChar::category(char32_t(c)) == QChar::Other_Control)
      readable += codePoint(c);
    else
      readable += QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
  }
  return readable;
}

QString readingDisplayText(Shown shown, const Value &value, ReadingState state) {
  switch (state) {
  case ReadingState::SwitchedOff:
    return QStringLiteral("off");
  case ReadingState::None:
    return QStringLiteral("—");
  case ReadingState::Current:
  case ReadingState::Stale:
    break;
  }
  const ShownInfo &shownInfo = info(shown);
  return QLocale().toString(value.value, 'f', shownInfo.decimals) + QLatin1Char(' ') +
         QString::fromUtf8(shownInfo.unit);
}

StationTile::StationTile(const QString &name, QWidget *parent)
    : QFrame(parent), m_name(name), m_state(new QLabel(this)), m_alarms(new QLabel(this)),
      m_switches(new QLabel(this)), m_remove(new QPushButton(QStringLiteral("Remove"), this)) {
  setFrameShape(QFrame::StyledPanel);
  setFocusPolicy(Qt::StrongFocus);
  const QString readable = readableName(name);
  setAccessibleName(readable);
  setCursor(Qt::PointingHandCursor);

  const QFont bold = makeTitle(readable);
  m_state->setTextFormat(Qt::PlainText);
  m_state->setObjectName(QStringLiteral("stationState"));
  m_alarms->setTextFormat(Qt::PlainText);
  m_alarms->setObjectName(QStringLiteral("stationAlarms"));
  m_alarms->setWordWrap(true);
  QFont alarmFont = m_alarms->font();
  alarmFont.setBold(true);
  m_alarms->setFont(alarmFont);
  setDisplayColour(m_alarms, alarmColour);
  m_alarms->hide();
  m_switches->setTextFormat(Qt::PlainText);
  m_switches->setObjectName(QStringLiteral("stationSwitches"));
  m_remove->setObjectName(QStringLiteral("removeStation"));
  m_remove->setAccessibleName(QStringLiteral("Remove ") + readable);
  m_remove->hide();
  connect(m_remove, &QPushButton::clicked, this, [this] { emit removeRequested(m_name); });
  makeAcknowledge(readable);

  auto *header = new QHBoxLayout;
  header->addWidget(m_title, 1);
  header->addStretch(1);
  header->addWidget(m_acknowledge);
  header->addWidget(m_remove);
  QGridLayout *grid = makeDisplays();
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(2);
  layout->addLayout(header);
  layout->addWidget(m_state);
  layout->addWidget(m_alarms);
  layout->addLayout(grid);
  layout->addWidget(m_switches);
  // Elided to what the displays leave beside the Remove button, and isolated (FSI ... PDI), so
  // that direction marks in a name cannot reorder the tile's own text.
  const int room = grid->sizeHint().width() - m_remove->sizeHint().width() - header->spacing();
  // The state line changes every second ("newest reading 12 s ago"): at a fixed size, its new
  // text repaints the label alone instead of laying out the tile and the whole grid again.
  m_state->setFixedSize(grid->sizeHint().width(), m_state->sizeHint().height());
  m_title->setText(QChar(0x2068) +
                   QFontMetrics(bold).elidedText(readable, Qt::ElideRight, std::max(room, 40)) +
                   QChar(0x2069));
}

QFont StationTile::makeTitle(const QString &readable) {
  m_title = new QLabel(this);
  m_title->setTextFormat(Qt::PlainText);
  m_title->setObjectName(QStringLiteral("stationName"));
  QFont bold = m_title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  m_title->setFont(bold);
  // However long, the name never widens the tile; the whole of it is in the tool tip (rich text
  // of the escaped name, so that markup in a name is shown, not obeyed).
  m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  m_title->setToolTip(QStringLiteral("<p style=\"white-space:pre\">%1</p>")
                          .arg(readable.toHtmlEscaped()));
  m_title->setAccessibleName(readable);
  return bold;
}

void StationTile::makeAcknowledge(const QString &readable) {
  // Named with the station, so that a screen reader says whose alarms it acknowledges.
  m_acknowledge = new QPushButton(QStringLiteral("Acknowledge"), this);
  m_acknowledge->setObjectName(QStringLiteral("acknowledgeStation"));
  m_acknowledge->setAccessibleName(QStringLiteral("Acknowledge the alarms of ") + readable);
  m_acknowledge->hide();
  connect(m_acknowledge, &QPushButton::clicked, this,
          [this] { emit acknowledgeRequested(m_name); });
}

QGridLayout *StationTile::makeDisplays() {
  auto *grid = new QGridLayout;
  grid->setSpacing(2);
  for (int k = 0; k < shownCount; ++k) {
    const ShownInfo &shownInfo = info(Shown(k));
    const QString caption = QString::fromUtf8(shownInfo.name);
    m_displays[k] = new widgets::NumericDisplay(caption, QStringLiteral("reading%1").arg(k),
                                                QStringLiteral("—"), readingColour, this);
    // Smaller than the main window's displays, and wide enough for a value with its unit.
    QLabel *label = m_displays[k]->label();
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.75);
    label->setFont(font);
    label->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QStringLiteral("-0000.0000 L/min")) + 8);
    // pH and flow on the first row, the temperatures on the second.
    const int row = k >= int(Shown::Therm1) && k <= int(Shown::Therm3) ? 1 : 0;
    const int column = row == 1 ? k - int(Shown::Therm1) : (k < 2 ? k : k - 3);
    grid->addWidget(m_displays[k], row, column);
  }
  return grid;
}

QString StationTile::shownName() const { return m_title->text(); }

QString StationTile::stateText() const { return m_state->text(); }

QString StationTile::captionText(Shown shown) const {
  return m_displays[int(shown)]->captionLabel()->text();
}

QString StationTile::readingText(Shown shown) const {
  return m_displays[int(shown)]->label()->text();
}

QString StationTile::alarmText() const { return m_alarms->isHidden() ? QString() : m_alarms->text(); }

QString StationTile::stateLine(const Station &station, qint64 nowMs,
                               const QString &lastSeenText) const {
  const StationState state = StationModel::stationState(station, nowMs);
  QString line = stateWord(state);
  if (state == StationState::Offline)
    line += lastSeenText.isEmpty() ? QStringLiteral(", not seen since the view opened")
                                   : QStringLiteral(", last seen ") + lastSeenText;
  else if (station.newestReadingMs >= 0)
    line += QStringLiteral(", newest reading %1 s ago").arg((nowMs - station.newestReadingMs) / 1000);
  if (station.simulated == true)
    line += QStringLiteral(", simulated modules");
  return line;
}

void StationTile::setStateLine(const QString &line) {
  setTextIfChanged(m_state, line);
  const QString description = m_alarmLine.isEmpty() ? line : line + QStringLiteral("; ") + m_alarmLine;
  if (accessibleDescription() != description)
    setAccessibleDescription(description);
}

void StationTile::display(const Station &station, qint64 nowMs, const QString &lastSeenText,
                          bool changed) {
  m_redrawAt = StationModel::nextChangeMs(station, nowMs);
  // Only the age went on: the state line alone, which costs a label's repaint.
  if (!changed && nowMs < m_staleAt) {
    setStateLine(stateLine(station, nowMs, lastSeenText));
    return;
  }
  m_staleAt = StationModel::nextStaleMs(station, nowMs);
  const StationState state = StationModel::stationState(station, nowMs);
  const QStringList alarmed = alarmTexts(station);
  m_alarmLine =
      alarmed.isEmpty() ? QString() : QStringLiteral("in alarm: ") + alarmed.join(QStringLiteral(", "));
  setTextIfChanged(m_alarms, m_alarmLine);
  if (m_alarms->isHidden() != m_alarmLine.isEmpty())
    m_alarms->setVisible(!m_alarmLine.isEmpty());
  setStateLine(stateLine(station, nowMs, lastSeenText));

  QStringList switches;
  for (int c = 0; c < channelCount; ++c) {
    const std::optional<bool> &on = station.switches[c];
    switches << QStringLiteral("%1 %2").arg(QLatin1String(channelName(Channel(c))),
                                            !on ? QStringLiteral("?") : *on ? "on" : "off");
  }
  setTextIfChanged(m_switches, QStringLiteral("Switches: ") + switches.join(QStringLiteral(", ")));
  displayReadings(station, nowMs, state == StationState::Offline);
  setGreyed(state == StationState::Offline);
  const bool acknowledgeable = state != StationState::Offline && canAcknowledge(station);
  if (m_acknowledge->isHidden() == acknowledgeable)
    m_acknowledge->setVisible(acknowledgeable);
}

void StationTile::displayReadings(const Station &station, qint64 nowMs, bool offline) {
  std::array<bool, shownCount> alarmed{};
  for (const alarms::Alarm alarm : alarms::allAlarms)
    if (const std::optional<Shown> shown = shownOf(alarm);
        shown && inAlarm(station.alarms[alarms::index(alarm)]))
      alarmed[int(*shown)] = true;
  for (int k = 0; k < shownCount; ++k) {
    const ReadingState readingState = StationModel::readingState(station, Shown(k), nowMs);
    QLabel *label = m_displays[k]->label();
    setTextIfChanged(label, readingDisplayText(Shown(k), station.shownValue(Shown(k)), readingState));
    // The caption labels the display for a screen reader too: it carries the reading's state.
    QString caption = QString::fromUtf8(info(Shown(k)).name);
    if (readingState == ReadingState::Stale)
      caption += QStringLiteral(" · stale");
    if (alarmed[k])
      caption += QStringLiteral(" · in alarm");
    setTextIfChanged(m_displays[k]->captionLabel(), caption);
    setDisplayColour(label, offline                              ? greyColour
                            : alarmed[k]                         ? alarmColour
                            : readingState == ReadingState::Stale ? staleColour
                                                                  : readingColour);
  }
}

void StationTile::setGreyed(bool greyed) {
  if (greyed == m_greyed)
    return;
  m_greyed = greyed;
  m_remove->setVisible(greyed);
  QPalette tilePalette = palette();
  tilePalette.setColor(QPalette::WindowText,
                       greyed ? greyColour : QPalette().color(QPalette::WindowText));
  tilePalette.setColor(QPalette::Window, greyed ? QPalette().color(QPalette::Window).darker(115)
                                                : QPalette().color(QPalette::Window));
  setPalette(tilePalette);
  setAutoFillBackground(greyed);
}

void StationTile::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit trendRequested(m_name);
  QFrame::mouseReleaseEvent(event);
}

void StationTile::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Space) {
    emit trendRequested(m_name);
    return;
  }
  QFrame::keyPressEvent(event);
}

} // namespace stations
