#pragma once

#include "mqtt/client.h"
#include "stations/inbox.h"
#include "stations/station_model.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <map>
#include <memory>

class QLabel;
class QVBoxLayout;
class QGridLayout;

namespace plot {
class TrendGraph;
class DecimatedSeries;
} // namespace plot

namespace stations {

class StationTile;
struct PhHistory;

// The station view: one tile per station publishing under `base` on the broker, in the order of
// their names. Opens no serial port. Messages arrive on the MQTT client's network thread and wait
// in an inbox; the window takes them in batches (at most `batchesPerSecond` a second), so it never
// waits for the network and a burst costs one relayout, not one per message. The status line says
// how the connection stands, how many stations there are and how many messages were ignored.
class StationWindow : public QMainWindow {
  Q_OBJECT
public:
  static constexpr int batchesPerSecond = 10;
  // The most a batch spends taking messages; the rest wait for the next batch.
  static constexpr int batchBudgetMs = 40;

  // At most `maxStations` tiles; the stations beyond are counted in the status line.
  StationWindow(const mqtt::Endpoint &endpoint, const QByteArray &base,
                int maxStations = StationModel::defaultMaxStations, QWidget *parent = nullptr);
  ~StationWindow() override;

  const StationModel &model() const { return m_model; }
  StationTile *tile(const QString &name) const;
  QString statusText() const;
  // Takes what waits in the inbox and brings the tiles up to date (the batch timer calls it).
  void applyBatch();
  // Opens (or raises) the pH trend of a station, kept up to date while it is open.
  plot::TrendGraph *showTrend(const QString &name);

private:
  void onConnectionState(mqtt::State state, const QString &reason, int retryIn);
  void removeStation(const QString &name);
  // Sends the station's <base>/<name>/command/alarms/acknowledge_all with the viewer's login name.
  void acknowledgeStation(const QString &name);
  void relayout();
  int columnsThatFit() const;
  void recordPh(const Station &station, Shown shown, double value, qint64 wallMs);
  void updateStatus();
  void refreshTiles(qint64 wallMs);
  void resizeEvent(QResizeEvent *event) override;

  Inbox m_inbox;
  StationModel m_model;
  QByteArray m_base;
  std::unique_ptr<mqtt::Client> m_client; // after the inbox: gone before it
  QElapsedTimer m_clock;                  // the monotonic time stamps of messages
  QTimer m_batchTimer;
  std::vector<Incoming> m_batch;
  std::size_t m_next = 0; // the first message of m_batch not yet taken
  QSet<QString> m_changed; // stations a message changed since their tiles were drawn
  std::map<QString, StationTile *, StationModel::ByName> m_tiles;
  std::map<QString, std::unique_ptr<PhHistory>> m_history;
  QWidget *m_tileArea;
  QGridLayout *m_grid;
  QLabel *m_status;
  QString m_connectionText;
  int m_columns = 0;
};

} // namespace stations
