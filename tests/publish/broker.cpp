#include "tests/publish/broker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brokertest {
namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = loopback(port);
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

} // namespace

int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr *>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

int run(const QString &program, const QStringList &arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(60000))
    return -1;
  const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  if (status != 0) // what it said is of interest only when it failed
    std::fputs(process.readAll().constData(), stderr);
  return status;
}

void publishMessages(int port, const std::vector<std::pair<QByteArray, QByteArray>> &messages) {
  mosquitto_lib_init();
  mosquitto *mosq = mosquitto_new(nullptr, true, nullptr);
  if (mosquitto_connect(mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS) {
    for (const auto &[topic, payload] : messages)
      mosquitto_publish(mosq, nullptr, topic.constData(), int(payload.size()), payload.constData(),
                        1, false);
    // QoS 1: every message is acknowledged once the loop has run long enough.
    for (int k = 0; k < 50; ++k)
      mosquitto_loop(mosq, 50, 1);
    mosquitto_disconnect(mosq);
  }
  mosquitto_destroy(mosq);
}

Broker::Broker(QStringList configuration) : m_configuration(std::move(configuration)) {
  static const QRegularExpression listener(QStringLiteral("^listener (\\d+)"));
  for (const QString &line : m_configuration)
    if (const QRegularExpressionMatch match = listener.match(line); match.hasMatch())
      m_ports.push_back(match.captured(1).toInt());
}

Broker::~Broker() { stop(); }

bool Broker::start() {
  const QString conf = m_dir.filePath(QStringLiteral("mosquitto.conf"));
  QFile file(conf);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  // mosquitto refuses to run as root unless told to stay root; as another user the line is moot.
  QStringList lines{QStringLiteral("user root"), QStringLiteral("persistence false"),
                    QStringLiteral("log_dest file ") + m_dir.filePath(QStringLiteral("broker.log")),
                    QStringLiteral("log_type all")};
  lines += m_configuration;
  file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
  file.close();
  // What it says goes to its log file; on the terminal it only warns that it runs as root.
  m_process.setStandardOutputFile(QProcess::nullDevice());
  m_process.setStandardErrorFile(QProcess::nullDevice());
  m_process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf});
  if (!m_process.waitForStarted(10000))
    return false;
  const QDeadlineTimer deadline(30000);
  for (int port : m_ports) {
    while (!accepts(port)) {
      if (deadline.hasExpired() || m_process.state() != QProcess::Running)
        return false;
      QThread::msleep(20);
    }
  }
  return true;
}

void Broker::stop() {
  if (m_process.state() == QProcess::NotRunning)
    return;
  m_process.terminate();
  if (!m_process.waitForFinished(10000)) {
    m_process.kill();
    m_process.waitForFinished(10000);
  }
}

void Broker::freeze(bool frozen) {
  if (m_process.state() == QProcess::Running)
    ::kill(static_cast<pid_t>(m_process.processId()), frozen ? SIGSTOP : SIGCONT);
}

QString Broker::log() const {
  QFile file(m_dir.filePath(QStringLiteral("broker.log")));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

Subscriber::Subscriber(int port, const QByteArray &filter, bool newestOnly)
    : m_filter(filter), m_newestOnly(newestOnly) {
  mosquitto_lib_init();
  m_mosq = mosquitto_new(nullptr, true, this);
  mosquitto_connect_callback_set(m_mosq, &Subscriber::onConnect);
  mosquitto_subscribe_callback_set(m_mosq, &Subscriber::onSubscribe);
  mosquitto_message_callback_set(m_mosq, &Subscriber::onMessage);
  mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
  mosquitto_loop_start(m_mosq);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(m_mosq);
  mosquitto_loop_stop(m_mosq, false);
  mosquitto_destroy(m_mosq);
}

void Subscriber::onConnect(mosquitto *mosq, void *self, int rc) {
  if (rc == 0)
    mosquitto_subscribe(mosq, nullptr, static_cast<Subscriber *>(self)->m_filter.constData(), 1);
}

void Subscriber::onSubscribe(mosquitto *, void *self, int, int, const int *) {
  auto *subscriber = static_cast<Subscriber *>(self);
  const std::lock_guard lock(subscriber->m_mutex);
  subscriber->m_subscribed = true;
}

void Subscriber::onMessage(mosquitto *, void *self, const mosquitto_message *message) {
  auto *subscriber = static_cast<Subscriber *>(self);
  Message received{QByteArray(message->topic),
                   QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                   message->retain};
  const std::lock_guard lock(subscriber->m_mutex);
  ++subscriber->m_received;
  auto &kept = subscriber->m_messages;
  const auto same =
      subscriber->m_newestOnly
          ? std::find_if(kept.begin(), kept.end(),
                         [&](const Message &m) { return m.topic == received.topic; })
          : kept.end();
  if (same != kept.end())
    *same = std::move(received);
  else
    kept.push_back(std::move(received));
}

qint64 Subscriber::received() const {
  const std::lock_guard lock(m_mutex);
  return m_received;
}

bool Subscriber::subscribed() const {
  const std::lock_guard lock(m_mutex);
  return m_subscribed;
}

std::vector<Subscriber::Message> Subscriber::messages() const {
  const std::lock_guard lock(m_mutex);
  return m_messages;
}

std::optional<QByteArray> Subscriber::last(const QByteArray &topic) const {
  const std::lock_guard lock(m_mutex);
  for (auto it = m_messages.rbegin(); it != m_messages.rend(); ++it)
    if (it->topic == topic)
      return it->payload;
  return std::nullopt;
}

void Subscriber::clear() {
  const std::lock_guard lock(m_mutex);
  m_messages.clear();
}

} // namespace brokertest
