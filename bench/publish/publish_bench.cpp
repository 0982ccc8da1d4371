// The read tick's cost of publishing: one reading handed to a connected publisher (formatting the
// payload, queueing it for the network thread), the ten readings of a tick with every channel on,
// and a reading dropped while the broker is away. A mosquitto is started on a free port for the
// connected runs; between iterations, untimed, the network thread gets a moment to send, so that
// no reading is dropped for want of room.
#include "publish/mqtt_publisher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr *>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A mosquitto on 127.0.0.1 for as long as the object lives.
class Broker {
public:
  Broker() : port(freePort()) {
    const QString conf = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly))
      return;
    file.write(QStringLiteral("user root\npersistence false\nallow_anonymous true\n"
                              "listener %1 127.0.0.1\n")
                   .arg(port)
                   .toUtf8());
    file.close();
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf});
    m_process.waitForStarted();
  }
  ~Broker() {
    m_process.terminate();
    m_process.waitForFinished();
  }
  const int port;

private:
  QTemporaryDir m_dir;
  QProcess m_process;
};

bool waitUntilConnected(const publish::MqttPublisher &publisher) {
  const QDeadlineTimer deadline(30000);
  while (publisher.connectionState() != publish::ConnectionState::Connected) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(10);
  }
  return true;
}

// The readings of one tick in the order they are stored.
const state::Quantity tickReadings[] = {state::Quantity::FlowHz,      state::Quantity::LitersPerMin,
                                        state::Quantity::TotalLiters, state::Quantity::Ph1mV,
                                        state::Quantity::Ph1,         state::Quantity::Ph2mV,
                                        state::Quantity::Ph2,         state::Quantity::Therm1,
                                        state::Quantity::Therm2,      state::Quantity::Therm3};

void publishConnected(benchmark::State &state, int readings) {
  Broker broker;
  AcquisitionState acquisition;
  acquisition.ph1Value = 7.0123;
  acquisition.flowHz = 115.7;
  publish::MqttConfig config;
  config.host = QStringLiteral("127.0.0.1");
  config.port = broker.port;
  config.topicPrefix = QStringLiteral("bench/rig");
  publish::MqttPublisher publisher(acquisition, config);
  if (!waitUntilConnected(publisher)) {
    state.SkipWithError(qPrintable(publisher.stateText()));
    return;
  }
  for (auto _ : state) {
    for (int k = 0; k < readings; ++k) {
      const state::QuantityInfo &q = state::info(tickReadings[k]);
      const double value = acquisition.*q.field;
      publisher.readingStored({q.quantity, value, state::corrected(q, value, acquisition), {}, {},
                               QDateTime::currentDateTimeUtc()});
    }
    state.PauseTiming();
    QThread::usleep(300);
    state.ResumeTiming();
  }
  state.counters["dropped"] = static_cast<double>(publisher.droppedReadings());
}

void BM_PublishOneReadingConnected(benchmark::State &state) { publishConnected(state, 1); }
void BM_PublishTheTenReadingsOfATickConnected(benchmark::State &state) {
  publishConnected(state, 10);
}

// The same loop with nothing published: what pausing the timer and its sleep add to the figures
// above, to be taken off them.
void BM_PausedLoopAlone(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    QThread::usleep(300);
    state.ResumeTiming();
  }
}

void BM_DropOneReadingWhileTheBrokerIsAway(benchmark::State &state) {
  AcquisitionState acquisition;
  publish::MqttConfig config;
  config.host = QStringLiteral("127.0.0.1");
  config.port = freePort(); // nobody listens there
  config.topicPrefix = QStringLiteral("bench/rig");
  publish::MqttPublisher publisher(acquisition, config);
  for (auto _ : state)
    publisher.readingStored({state::Quantity::Ph1, acquisition.ph1Value, acquisition.ph1Value, {},
                             {}, QDateTime::currentDateTimeUtc()});
  state.counters["dropped"] = static_cast<double>(publisher.droppedReadings());
}

BENCHMARK(BM_PublishOneReadingConnected)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(3000)
    ->Repetitions(5);
BENCHMARK(BM_PublishTheTenReadingsOfATickConnected)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(3000)
    ->Repetitions(5);
BENCHMARK(BM_PausedLoopAlone)->Unit(benchmark::kMicrosecond)->Iterations(3000)->Repetitions(5);
BENCHMARK(BM_DropOneReadingWhileTheBrokerIsAway)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
