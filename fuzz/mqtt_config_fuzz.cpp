// The command line's MQTT options fed any text: the broker URL, the topic prefix, the host name
// and the password file's contents. Whatever they are, the outcome is either a configuration or a
// message, never both nor neither; a configuration names a host and a port from 1 to 65535, takes
// its password from the file alone (never from the URL, and only for a named user), keeps a
// certificate authority only for mqtts://, and its topic prefix is one that can be published to:
// the one given or brellis/<host name>, without its trailing '/'.
//
// Input: byte 0 says which files are given (bit 0 the password file, bit 1 a certificate
// authority file that exists, bit 2 one that does not); the rest is split at 0xFF bytes into the
// URL, the topic prefix, the host name and the password file's contents, in that order.

#include "fuzz/fuzz_check.h"
#include "publish/mqtt_config.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// One folder for the whole run, removed at exit: the files are rewritten for every input.
struct Files {
  QString dir;
  QString password;
  QString ca;
  QString missing;

  Files() {
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/brellis-mqtt-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    dir = QString::fromLocal8Bit(pattern);
    password = dir + QStringLiteral("/password");
    ca = dir + QStringLiteral("/ca.pem");
    missing = dir + QStringLiteral("/missing");
    QFile caFile(ca);
    FUZZ_CHECK(caFile.open(QIODevice::WriteOnly));
    caFile.write("-----BEGIN CERTIFICATE-----\n");
  }
  ~Files() { QDir(dir).removeRecursively(); }
};

QString text(const QList<QByteArray> &fields, int i) {
  return i < fields.size() ? QString::fromUtf8(fields.at(i)) : QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const Files files;
  if (size < 1)
    return 0;
  const QList<QByteArray> fields =
      QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)).split('\xFF');
  const QString url = text(fields, 0);
  const QString prefix = text(fields, 1);
  const QString hostName = text(fields, 2);
  const QByteArray secret = fields.size() > 3 ? fields.at(3) : QByteArray();

  QString passwordFile;
  if (data[0] & 1) {
    QFile file(files.password);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(secret) == secret.size());
    passwordFile = files.password;
  }
  const QString caFile = (data[0] & 2) ? files.ca : (data[0] & 4) ? files.missing : QString();

  const publish::MqttConfigResult result =
      publish::makeMqttConfig(url, caFile, prefix, passwordFile, hostName);

  FUZZ_CHECK(result.config.has_value() == result.error.isEmpty());
  if (!result.config)
    return 0;
  const publish::MqttConfig &config = *result.config;
  FUZZ_CHECK(!config.host.isEmpty());
  FUZZ_CHECK(config.port >= 1 && config.port <= 65535);
  FUZZ_CHECK(QUrl(url.trimmed(), QUrl::StrictMode).password().isEmpty());
  FUZZ_CHECK(config.tls == url.trimmed().startsWith(QLatin1String("mqtts:"), Qt::CaseInsensitive));
  FUZZ_CHECK(config.caFile.isEmpty() || config.tls);
  FUZZ_CHECK(config.caFile == caFile);

  if (passwordFile.isEmpty()) {
    FUZZ_CHECK(config.password.isEmpty());
  } else {
    FUZZ_CHECK(!config.user.isEmpty());
    QByteArray expected = secret;
    if (expected.endsWith('\n'))
      expected.chop(1);
    if (expected.endsWith('\r'))
      expected.chop(1);
    FUZZ_CHECK(config.password == QString::fromUtf8(expected));
  }

  FUZZ_CHECK(publish::topicPrefixError(config.topicPrefix).isEmpty());
  FUZZ_CHECK(config.topicPrefix == QLatin1String("/") ||
             !config.topicPrefix.endsWith(QLatin1Char('/')));
  const QString asked = prefix.isEmpty() ? QStringLiteral("brellis/") + hostName : prefix;
  FUZZ_CHECK(asked.startsWith(config.topicPrefix));
  for (qsizetype i = config.topicPrefix.size(); i < asked.size(); ++i)
    FUZZ_CHECK(asked.at(i) == QLatin1Char('/'));
  return 0;
}
