#include "runs/run_file.h"

#include "common/journal_files.h"
#include "common/own_file.h"

#include <QDir>
#include <QFileInfo>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace runs {
namespace {

constexpr int maxPort = 256;
constexpr int maxLogIntervalMs = 24 * 60 * 60 * 1000;

// Reads the fields of one JSON object, remembering the first one that is missing, of the wrong
// type or out of range. Every getter returns a harmless value after an error.
class FieldReader {
public:
  explicit FieldReader(QJsonObject object) : m_object(std::move(object)) {}

  QString error() const { return m_error; }

  // A field added after the first version: missing is `absent`, anything else must be a boolean.
  bool optionalBoolean(const char *key, bool absent) {
    return m_object.contains(QLatin1String(key)) ? boolean(key) : absent;
  }
  bool boolean(const char *key) {
    const QJsonValue value = field(key);
    if (!m_error.isEmpty())
      return false;
    if (!value.isBool())
      return refuse(key, "is not true or false");
    return value.toBool();
  }
  int integer(const char *key, int low, int high) {
    const QJsonValue value = field(key);
    if (!m_error.isEmpty())
      return low;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high)
      return refuse(key, QStringLiteral("is not a whole number from %1 to %2").arg(low).arg(high),
                    low);
    return int(number);
  }
  QString string(const char *key) {
    const QJsonValue value = field(key);
    if (!m_error.isEmpty())
      return {};
    if (!value.isString())
      return refuse<QString>(key, "is not a text");
    return value.toString();
  }
  QJsonValue field(const char *key) {
    if (!m_error.isEmpty())
      return {};
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined())
      refuse(key, "is missing");
    return value;
  }
  // Records the first error; gives back `fallback`, so that a getter can return refuse(...).
  template <typename T = bool> T refuse(const char *key, const QString &why, T fallback = T{}) {
    if (m_error.isEmpty())
      m_error = QStringLiteral("the field \"%1\" %2").arg(QLatin1String(key), why);
    return fallback;
  }

private:
  QJsonObject m_object;
  QString m_error;
};

QMap<int, QString> readCom(FieldReader &reader) {
  const QJsonValue value = reader.field("com");
  if (!reader.error().isEmpty())
    return {};
  if (!value.isObject())
    return reader.refuse<QMap<int, QString>>("com", "is not an object of port numbers");
  QMap<int, QString> com;
  const QJsonObject object = value.toObject();
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool isNumber = false;
    const int number = it.key().toInt(&isNumber);
    const QString device = it.value().toString();
    if (!isNumber || number < 1 || number > maxPort || QString::number(number) != it.key() ||
        !it.value().isString() || device.isEmpty())
      return reader.refuse<QMap<int, QString>>(
          "com", QStringLiteral("has a bad entry \"%1\"").arg(it.key()));
    com.insert(number, device);
  }
  return com;
}

QStringList readOptions(FieldReader &reader) {
  const QJsonValue value = reader.field("options");
  if (!reader.error().isEmpty())
    return {};
  QStringList options;
  for (const QJsonValue &option : value.toArray()) {
    if (!option.isString())
      return reader.refuse<QStringList>("options", "holds something that is not a text");
    options.append(option.toString());
  }
  if (!value.isArray())
    reader.refuse("options", "is not a list of texts");
  return options;
}

QDateTime readLastRecord(FieldReader &reader) {
  const QJsonValue value = reader.field("lastRecord");
  if (!reader.error().isEmpty() || value.isNull())
    return {};
  const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
  if (!value.isString() || !time.isValid())
    return reader.refuse<QDateTime>("lastRecord", "is not a date and time");
  return time.toUTC();
}

RunRecord readFields(FieldReader &reader) {
  RunRecord record;
  record.version = reader.integer("version", 1, runFileVersion);
  record.port = reader.integer("port", 1, maxPort);
  record.com = readCom(reader);
  record.simulate = reader.boolean("simulate");
  record.ph = reader.boolean("ph");
  record.flow = reader.boolean("flow");
  record.therm = reader.boolean("therm");
  record.updateRate = reader.integer("updateRate", 0, 4);
  record.plot = reader.boolean("plot");
  record.plotPh1 = reader.boolean("plotPh1");
  record.plotPh2 = reader.boolean("plotPh2");
  record.logFile = reader.string("logFile");
  record.logIntervalMs = reader.integer("logIntervalMs", 1, maxLogIntervalMs);
  const QString mode = reader.string("logMode");
  if (mode != QLatin1String("append") && mode != QLatin1String("overwrite"))
    reader.refuse("logMode", "is neither \"append\" nor \"overwrite\"");
  record.logAppend = mode == QLatin1String("append");
  record.logging = reader.boolean("logging");
  record.logDaily = reader.optionalBoolean("logDaily", false);
  if (record.logging && record.logFile.isEmpty())
    reader.refuse("logFile", "is empty while logging is on");
  record.options = readOptions(reader);
  record.ended = reader.boolean("ended");
  record.lastRecordUtc = readLastRecord(reader);
  return record;
}

} // namespace

QString defaultRunFilePath() { return common::stateFilePath(QStringLiteral("run.json")); }

QByteArray runFileText(const RunRecord &record) {
  QJsonObject com;
  for (auto it = record.com.begin(); it != record.com.end(); ++it)
    com.insert(QString::number(it.key()), it.value());
  QJsonObject object{
      {"version", record.version},
      {"port", record.port},
      {"com", com},
      {"simulate", record.simulate},
      {"ph", record.ph},
      {"flow", record.flow},
      {"therm", record.therm},
      {"updateRate", record.updateRate},
      {"plot", record.plot},
      {"plotPh1", record.plotPh1},
      {"plotPh2", record.plotPh2},
      {"logFile", record.logFile},
      {"logIntervalMs", record.logIntervalMs},
      {"logMode", record.logAppend ? "append" : "overwrite"},
      {"logging", record.logging},
      {"logDaily", record.logDaily},
      {"options", QJsonArray::fromStringList(record.options)},
      {"ended", record.ended},
      {"lastRecord", record.lastRecordUtc.isValid()
                         ? QJsonValue(record.lastRecordUtc.toUTC().toString(Qt::ISODateWithMs))
                         : QJsonValue()},
  };
  return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString saveRunFile(const QString &path, const RunRecord &record) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    return QStringLiteral("The run file %1 cannot be written: its folder cannot be made").arg(path);
  const QString error = common::replaceWhole(path, runFileText(record));
  if (error.isEmpty())
    return {};
  return QStringLiteral("The run file %1 cannot be written: %2").arg(path, error);
}

RunRecord parseRunFile(const QByteArray &text, QString *error) {
  QJsonParseError parse{};
  const QJsonDocument document = QJsonDocument::fromJson(text, &parse);
  if (parse.error != QJsonParseError::NoError || !document.isObject()) {
    *error = parse.error != QJsonParseError::NoError
                 ? QStringLiteral("it is not JSON (%1 at byte %2)")
                       .arg(parse.errorString())
                       .arg(parse.offset)
                 : QStringLiteral("it is not a JSON object");
    return {};
  }
  const QJsonObject object = document.object();
  // A newer program may have changed any field's meaning: refuse before reading the rest.
  const QJsonValue version = object.value(QLatin1String("version"));
  if (version.isDouble() && version.toDouble() > runFileVersion) {
    *error = QStringLiteral("it was written by a newer version of Brellis (run file version %1)")
                 .arg(version.toDouble());
    return {};
  }
  FieldReader reader(object);
  const RunRecord record = readFields(reader);
  *error = reader.error();
  return reader.error().isEmpty() ? record : RunRecord{};
}

RunFileLoad loadRunFile(const QString &path) {
  RunFileLoad load;
  const common::OwnFileRead read = common::readOwnFile(path, runFileMaxBytes);
  QString why = read.error;
  if (read.missing)
    return load;
  if (why.isEmpty())
    load.record = parseRunFile(read.bytes, &why);
  if (why.isEmpty()) {
    load.outcome = RunFileLoad::Outcome::Loaded;
    return load;
  }
  load.outcome = RunFileLoad::Outcome::Refused;
  load.record = RunRecord{};
  load.message = QStringLiteral("The run file %1 is refused: %2.").arg(path, why);
  return load;
}

} // namespace runs
