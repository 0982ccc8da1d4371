#pragma once

#include "stations/station_model.h"

#include <QFrame>

#include <array>

class QGridLayout;
class QLabel;
class QPushButton;

namespace widgets {
class NumericDisplay;
}

namespace stations {

// One station: its name, its state (online, stale, offline with the time last seen), its readings
// on displays captioned by their quantity, and its channel switches. Offline, the tile is greyed
// and offers "Remove". A station's alarms in alarm show as a line "in alarm: pH 1 high" and
// their readings in the alarm colour. A click, or Enter while it has focus, asks for the
// station's pH trend.
//
// A screen reader finds the tile named by the station and described by its state, each reading on
// a display labelled by its quantity (as the main window's displays), and the state, the alarms
// in alarm and the switches as text. The station's name is shown as plain text, never as markup.
class StationTile : public QFrame {
  Q_OBJECT
public:
  explicit StationTile(const QString &name, QWidget *parent = nullptr);

  QString name() const { return m_name; }
  // The title as the tile shows it: readableName(name()), elided, between FSI and PDI.
  QString shownName() const;
  // Brings every text up to date; `lastSeenText` is the local time the station was last heard
  // from, shown once it is offline. Changes only what differs, so a tick that changes nothing
  // costs no repaint. `changed` false: no message came since the last call, so until a reading
  // turns stale only the state line (the age) is brought up to date.
  void display(const Station &station, qint64 nowMs, const QString &lastSeenText,
               bool changed = true);
  QString stateText() const;
  // "in alarm: pH 1 high, Flow low"; empty while no alarm is in alarm.
  QString alarmText() const;
  QString readingText(Shown shown) const;
  QString captionText(Shown shown) const;
  // When the clock alone next changes what the tile shows (see StationModel::nextChangeMs), as
  // of the last display().
  qint64 redrawAt() const { return m_redrawAt; }
  // When, as of the last display(), a reading or the station turns stale (INT64_MAX: never).
  qint64 staleAt() const { return m_staleAt; }

signals:
  void trendRequested(const QString &name);
  void removeRequested(const QString &name);
  // "Acknowledge": the station takes commands and has an alarm to acknowledge.
  void acknowledgeRequested(const QString &name);

protected:
  void mouseReleaseEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void setGreyed(bool greyed);
  QString stateLine(const Station &station, qint64 nowMs, const QString &lastSeenText) const;
  void setStateLine(const QString &line); // and the description it is part of
  QGridLayout *makeDisplays();
  void makeAcknowledge(const QString &readable);
  QFont makeTitle(const QString &readable); // the title label; its font
  // The displays: a reading in alarm in the alarm colour, captioned "· in alarm".
  void displayReadings(const Station &station, qint64 nowMs, bool offline);

  QString m_name;
  QLabel *m_title;
  qint64 m_redrawAt = 0;
  qint64 m_staleAt = 0; // when the last full display() stops being true but for the age
  QString m_alarmLine;
  QLabel *m_state;
  QLabel *m_alarms;
  QLabel *m_switches;
  QPushButton *m_acknowledge = nullptr;
  QPushButton *m_remove;
  std::array<widgets::NumericDisplay *, shownCount> m_displays{};
  bool m_greyed = false;
};

// A station's name as a person can read it: the name itself, with any control character (a line
// break) as its escaped code point ("U+000A"); a name without a visible character (direction
// marks, spaces, joiners) as all its code points, "U+200E U+200F". The accessible name and tool
// tip of a tile; its title is this, elided and isolated from the text around it.
QString readableName(const QString &name);

// The text a display shows for a reading in a state: the value and its unit (the caption says
// when it is stale), "off" when its channel is switched off, "—" before the first.
QString readingDisplayText(Shown shown, const Value &value, ReadingState state);

} // namespace stations
