#include "stations/station_window.h"

#include "common/login_name.h"
#include "publish/payloads.h"
#include "publish/topics.h"

#include "plot/decimated_series.h"
#include "plot/graph_feed.h"
#include "plot/trend_graph.h"
#include "stations/station_tile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace stations {

// Each station's pH since the view opened, at most a point a second a probe (about 16 bytes a
// point), and the trend window showing it while one is open.
struct PhHistory {
  plot::DecimatedSeries series[2];
  double lastKey[2] = {-1e300, -1e300};
  QPointer<plot::TrendGraph> graph;
};

namespace {
constexpr int defaultTileWidth = 640; // a tile with four displays in a row, before one exists
}

StationWindow::StationWindow(const mqtt::Endpoint &endpoint, const QByteArray &base,
                             int maxStations, QWidget *parent)
    : QMainWindow(parent), m_model(base, maxStations), m_base(base), m_tileArea(new QWidget), m_grid(new QGridLayout),
      m_status(new QLabel) {
  setObjectName(QStringLiteral("stationView"));
  setWindowTitle(QStringLiteral("Brellis stations under %1").arg(QString::fromUtf8(base)));
  m_clock.start();

  auto *scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("stationScroll"));
  scroll->setWidgetResizable(true);
  auto *outer = new QVBoxLayout(m_tileArea);
  outer->addLayout(m_grid);
  outer->addStretch(1);
  m_grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  scroll->setWidget(m_tileArea);
  setCentralWidget(scroll);
  m_status->setObjectName(QStringLiteral("stationStatus"));
  m_status->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(m_status, 1);
  resize(2 * defaultTileWidth + 40, 760);

  m_client = std::make_unique<mqtt::Client>(endpoint);
  m_client->subscribe(m_model.filter(), 0);
  m_client->setMessageHandler([this](const mqtt::Message &message) {
    m_inbox.put(message.topic, message.payload, message.retained, m_clock.elapsed());
  });
  connect(m_client.get(), &mqtt::Client::stateChanged, this, &StationWindow::onConnectionState);
  m_client->start();

  m_batchTimer.setInterval(1000 / batchesPerSecond);
  connect(&m_batchTimer, &QTimer::timeout, this, &StationWindow::applyBatch);
  m_batchTimer.start();
  updateStatus();
}

StationWindow::~StationWindow() = default;

void StationWindow::acknowledgeStation(const QString &name) {
  QByteArray payload = "{\"user\":";
  publish::appendJsonString(payload, common::loginName());
  payload += '}';
  m_client->publish(m_base + '/' + name.toUtf8() + '/' + publish::topics::commandPrefix +
                        "alarms/acknowledge_all",
                    payload, 1, false);
}

StationTile *StationWindow::tile(const QString &name) const {
  const auto found = m_tiles.find(name);
  return found == m_tiles.end() ? nullptr : found->second;
}

QString StationWindow::statusText() const { return m_status->text(); }

void StationWindow::onConnectionState(mqtt::State state, const QString &reason, int retryIn) {
  const QString address = m_client->address();
  switch (state) {
  case mqtt::State::Connecting:
    m_connectionText = QStringLiteral("Connecting to %1").arg(address);
    break;
  case mqtt::State::Connected:
    m_connectionText = QStringLiteral("Receiving from %1").arg(address);
    break;
  case mqtt::State::Retrying:
    m_connectionText = QStringLiteral("Not connected to %1 (%2); trying again in %3 s")
                           .arg(address, reason)
                           .arg(retryIn);
    break;
  case mqtt::State::Off:
    m_connectionText = QStringLiteral("Not receiving: ") + reason;
    break;
  }
  updateStatus();
}

void StationWindow::updateStatus() {
  const qint64 ignored = m_model.garbageCount() + m_inbox.lost();
  QString text = QStringLiteral("%1 · %2 station(s) · %3 message(s) ignored")
                     .arg(m_connectionText)
                     .arg(m_model.stations().size())
                     .arg(ignored);
  if (const qint64 beyond = m_model.stationsBeyondMax(); beyond > 0)
    text += QStringLiteral(" · %1 more station(s) not shown (at most %2)")
                .arg(beyond)
                .arg(m_model.maxStations());
  if (m_status->text() != text)
    m_status->setText(text);
}

void StationWindow::applyBatch() {
  // A flood must not hold the window: what does not fit in this batch's time waits for the next
  // (and the inbox, full meanwhile, drops and counts the newest).
  QElapsedTimer budget;
  budget.start();
  if (m_next >= m_batch.size()) {
    m_inbox.takeAll(m_batch);
    m_next = 0;
  }
  const qint64 wallMs = QDateTime::currentMSecsSinceEpoch();
  bool added = false;
  for (std::size_t taken = 1; m_next < m_batch.size(); ++taken) {
    if (taken % 256 == 0 && budget.elapsed() >= batchBudgetMs)
      break;
    const Applied applied = m_model.apply(m_batch[m_next++]);
    if (!applied.station)
      continue;
    m_changed.insert(applied.station->name);
    if (!m_tiles.count(applied.station->name)) {
      auto *tile = new StationTile(applied.station->name, m_tileArea);
      connect(tile, &StationTile::trendRequested, this, &StationWindow::showTrend);
      connect(tile, &StationTile::removeRequested, this, &StationWindow::removeStation);
      connect(tile, &StationTile::acknowledgeRequested, this, &StationWindow::acknowledgeStation);
      m_tiles.emplace(applied.station->name, tile);
      added = true;
    }
    if (applied.reading == Shown::Ph1 || applied.reading == Shown::Ph2)
      recordPh(*applied.station, *applied.reading, applied.station->shownValue(*applied.reading).value,
               wallMs);
  }
  if (m_next >= m_batch.size()) {
    m_batch.clear(); // the payloads' memory goes now, not at the next batch
    m_next = 0;
  }
  if (added)
    relayout();
  refreshTiles(wallMs);
  updateStatus();
}

// A tile is drawn again only when its station changed or when the clock alone changes what it
// shows (a reading turning stale, or, while the tile can be seen, its age label's next second):
// with many quiet stations, the window's work follows what changed, not how many there are.
void StationWindow::refreshTiles(qint64 wallMs) {
  const qint64 nowMs = m_clock.elapsed();
  const QRect seen = m_tileArea->visibleRegion().boundingRect();
  for (const auto &[name, station] : m_model.stations()) {
    StationTile *tile = m_tiles.at(name);
    const bool changed = m_changed.contains(name);
    if (!changed && nowMs < tile->redrawAt())
      continue;
    // Only its age went on, out of sight: it is drawn at the first tick it is scrolled into.
    if (!changed && nowMs < tile->staleAt() && !tile->geometry().intersects(seen))
      continue;
    // Shown only while offline.
    const QString lastSeen =
        station.lastSeenMs < 0 || station.online != false
            ? QString()
            : QDateTime::fromMSecsSinceEpoch(wallMs - (nowMs - station.lastSeenMs))
                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    tile->display(station, nowMs, lastSeen, changed);
  }
  m_changed.clear();
}

void StationWindow::recordPh(const Station &station, Shown shown, double value, qint64 wallMs) {
  std::unique_ptr<PhHistory> &history = m_history[station.name];
  if (!history)
    history = std::make_unique<PhHistory>();
  const int trace = shown == Shown::Ph1 ? 0 : 1;
  const double key = wallMs / 1000.0;
  if (key - history->lastKey[trace] < 1.0)
    return;
  history->lastKey[trace] = key;
  history->series[trace].append(key, value);
  if (history->graph)
    history->graph->appendPoint(trace + 1, key, value);
}

plot::TrendGraph *StationWindow::showTrend(const QString &name) {
  std::unique_ptr<PhHistory> &history = m_history[name];
  if (!history)
    history = std::make_unique<PhHistory>();
  if (!history->graph) {
    auto *graph = new plot::TrendGraph(QDateTime::currentDateTime(), this);
    graph->setWindowFlag(Qt::Window);
    graph->setAttribute(Qt::WA_DeleteOnClose);
    graph->setWindowTitle(QStringLiteral("pH of %1").arg(name));
    graph->setAccessibleName(QStringLiteral("pH trend of %1").arg(name));
    graph->resize(560, 300);
    for (int trace = 0; trace < 2; ++trace) {
      const plot::DecimatedSeries &series = history->series[trace];
      plot::GraphFeed *feed = graph->feed(trace + 1);
      for (std::size_t k = 0; k < series.size(); ++k)
        feed->series().append(series.at(k).key, series.at(k).value);
      feed->refresh();
    }
    graph->setSpan(plot::TrendGraph::WholeRun);
    history->graph = graph;
  }
  history->graph->show();
  history->graph->raise();
  return history->graph;
}

void StationWindow::removeStation(const QString &name) {
  const auto found = m_tiles.find(name);
  if (found == m_tiles.end())
    return;
  found->second->deleteLater();
  m_tiles.erase(found);
  m_model.remove(name);
  if (const auto history = m_history.find(name); history != m_history.end()) {
    if (history->second->graph)
      history->second->graph->close();
    m_history.erase(history);
  }
  relayout();
  updateStatus();
}

int StationWindow::columnsThatFit() const {
  const int tileWidth = m_tiles.empty() ? defaultTileWidth
                                        : m_tiles.begin()->second->sizeHint().width() +
                                              std::max(0, m_grid->horizontalSpacing());
  const int width = centralWidget() ? centralWidget()->width() : this->width();
  return std::max(1, (width - 30) / tileWidth);
}

void StationWindow::relayout() {
  m_columns = columnsThatFit();
  while (m_grid->count() > 0)
    delete m_grid->takeAt(0);
  int index = 0;
  for (const auto &[name, tile] : m_tiles) {
    m_grid->addWidget(tile, index / m_columns, index % m_columns);
    tile->show();
    ++index;
  }
}

void StationWindow::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  if (columnsThatFit() != m_columns)
    relayout();
}

} // namespace stations
