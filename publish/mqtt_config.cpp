#include "publish/mqtt_config.h"

#include <QFile>
#include <QUrl>

namespace publish {
namespace {

QString unreadable(const QString &url) {
  return QStringLiteral(
             "--mqtt: \"%1\" is not a broker address; expected mqtt://[user@]host[:port] "
             "or mqtts://[user@]host[:port]")
      .arg(url);
}

// The whole of a small file, or the reason it cannot be read.
std::optional<QByteArray> readFile(const QString &path, QString &reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    reason = file.errorString();
    return std::nullopt;
  }
  QByteArray contents = file.read(64 * 1024);
  if (file.error() != QFileDevice::NoError) {
    reason = file.errorString();
    return std::nullopt;
  }
  return contents;
}

// The broker's scheme, host, port and user into `config`; why the address is unusable, or empty.
QString readAddress(const QString &url, MqttConfig &config) {
  const QUrl parsed(url.trimmed(), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty() || !url.contains(QStringLiteral("://")))
    return unreadable(url);
  const QString scheme = parsed.scheme().toLower();
  if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
    return QStringLiteral("--mqtt: unknown scheme \"%1\" in \"%2\"; use mqtt:// or mqtts://")
        .arg(parsed.scheme(), url);
  const QString path = parsed.path();
  if (parsed.host().isEmpty() || (!path.isEmpty() && path != QLatin1String("/")) ||
      parsed.hasQuery() || parsed.hasFragment() || parsed.port() == 0)
    return unreadable(url);
  if (!parsed.password().isEmpty())
    return QStringLiteral("--mqtt: a password in the address is refused, since every user "
                          "of this machine can read the command line; put it in a file "
                          "and give that with --mqtt-password-file");
  config.tls = scheme == QLatin1String("mqtts");
  config.host = parsed.host();
  config.port = parsed.port(config.tls ? 8883 : 1883);
  config.user = parsed.userName();
  return QString();
}

// The password file's one line into `config`; why it cannot be used, or empty.
QString readPassword(const QString &passwordFile, MqttConfig &config) {
  if (passwordFile.isEmpty())
    return QString();
  if (config.user.isEmpty())
    return QStringLiteral("--mqtt-password-file: a password needs a user name in the "
                          "address (mqtt://user@host)");
  QString reason;
  std::optional<QByteArray> contents = readFile(passwordFile, reason);
  if (!contents)
    return QStringLiteral("--mqtt-password-file: cannot read \"%1\": %2").arg(passwordFile, reason);
  // One line: the line break an editor leaves at its end is not part of the password.
  if (contents->endsWith('\n'))
    contents->chop(1);
  if (contents->endsWith('\r'))
    contents->chop(1);
  config.password = QString::fromUtf8(*contents);
  return QString();
}

// The certificate authority's file into `config`; why it cannot be used, or empty.
QString readCa(const QString &caFile, const QString &url, MqttConfig &config) {
  if (caFile.isEmpty())
    return QString();
  if (!config.tls)
    return QStringLiteral("--mqtt-ca: a certificate authority is for mqtts:// "
                          "addresses only, not \"%1\"")
        .arg(url);
  QString reason;
  if (!readFile(caFile, reason))
    return QStringLiteral("--mqtt-ca: cannot read \"%1\": %2").arg(caFile, reason);
  config.caFile = caFile;
  return QString();
}

} // namespace

QString topicPrefixError(const QString &prefix) {
  if (prefix.isEmpty())
    return QStringLiteral("--mqtt-topic: the topic prefix is empty");
  if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')) ||
      prefix.contains(QChar(0)))
    return QStringLiteral("--mqtt-topic: \"%1\" holds '+', '#' or a NUL character, which MQTT "
                          "reserves for subscriptions; choose a prefix without them")
        .arg(QString(prefix).replace(QChar(0), QStringLiteral("\\0")));
  return QString();
}

MqttConfigResult makeMqttConfig(const QString &url, const QString &caFile,
                                const QString &topicPrefix, const QString &passwordFile,
                                const QString &hostName) {
  MqttConfigResult result;
  MqttConfig config;
  result.error = readAddress(url, config);
  if (result.error.isEmpty())
    result.error = readPassword(passwordFile, config);
  if (result.error.isEmpty())
    result.error = readCa(caFile, url, config);
  if (!result.error.isEmpty())
    return result;

  QString prefix = topicPrefix.isEmpty() ? QStringLiteral("brellis/") + hostName : topicPrefix;
  while (prefix.size() > 1 && prefix.endsWith(QLatin1Char('/')))
    prefix.chop(1);
  result.error = topicPrefixError(prefix);
  if (!result.error.isEmpty())
    return result;
  config.topicPrefix = prefix;
  result.config = config;
  return result;
}

} // namespace publish
