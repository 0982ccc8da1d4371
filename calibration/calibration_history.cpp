#include "calibration/calibration_history.h"

#include "calibration/durable_file.h"
#include "common/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QStandardPaths>

namespace calibration {
namespace {

struct Head {
  int records = 0;
  QString lastHash;
};

std::optional<Head> readHead(const QString &historyPath) {
  QFile file(historyHeadPath(historyPath));
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
  bool ok = false;
  const int records = parts.size() == 2 ? parts[0].toInt(&ok) : 0;
  if (!ok)
    return Head{-1, {}};
  return Head{records, QString::fromLatin1(parts[1])};
}

// The chain checks of one whole record, given the record before it when that one is whole.
std::optional<QString> chainProblem(const QJsonObject &object, const CalibrationRecord &record,
                                    int number, const CalibrationRecord *before) {
  if (recordHash(object) != record.hash)
    return QStringLiteral("its content does not match its hash (a value was changed)");
  // A new segment's first record links to nothing; the damage it follows stays reported where
  // it is in the file.
  if (!record.followsDamage.isEmpty())
    return std::nullopt;
  if (number == 1 && !record.previousHash.isEmpty())
    return QStringLiteral("it follows a record that is not there (records removed from the "
                          "start)");
  if (before && record.previousHash != before->hash)
    return QStringLiteral("it does not follow record %1 (a record was removed, inserted or "
                          "moved)")
        .arg(number - 1);
  return std::nullopt;
}

void checkHead(const QString &path, HistoryReport &report) {
  const std::optional<Head> head = readHead(path);
  if (!head) {
    if (report.lines > 0)
      report.problems.push_back({report.lines, QStringLiteral("the file %1 that holds the last "
                                                              "record's hash is missing")
                                                   .arg(historyHeadPath(path))});
    return;
  }
  if (head->records < 0) {
    report.problems.push_back(
        {report.lines, QStringLiteral("the file %1 is damaged").arg(historyHeadPath(path))});
  } else if (head->records > report.lines) {
    report.problems.push_back(
        {report.lines + 1, QStringLiteral("the history ends at record %1, but %2 were written "
                                          "(records cut from the end)")
                               .arg(report.lines)
                               .arg(head->records)});
  } else if (head->records > 0) {
    // Records after the head's are ones whose head was not written (a crash in between): the
    // chain vouches for them.
    const auto match =
        std::find_if(report.records.begin(), report.records.end(),
                     [&](const NumberedRecord &r) { return r.number == head->records; });
    if (match == report.records.end() || match->record.hash != head->lastHash)
      report.problems.push_back(
          {head->records, QStringLiteral("it is not the record that was written there")});
  }
}

} // namespace

QString historyFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/brellis/calibration-history.jsonl");
}

QString historyHeadPath(const QString &historyPath) {
  QString head = historyPath;
  if (head.endsWith(QLatin1String(".jsonl")))
    head.chop(6);
  return head + QStringLiteral(".head");
}

QString HistoryReport::summary() const {
  if (!unreadable.isEmpty())
    return QStringLiteral("history cannot be read: %1").arg(unreadable);
  if (problems.empty())
    return QStringLiteral("history intact (%1 records)").arg(lines);
  return QStringLiteral("history altered at record %1: %2")
      .arg(problems.front().record)
      .arg(problems.front().what);
}

HistoryReport readHistory(const QString &path) {
  HistoryReport report;
  const QFileInfo info(path);
  if (!info.exists())
    return report;
  if (info.isDir()) {
    report.unreadable = QStringLiteral("%1 is a folder").arg(path);
    return report;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    report.unreadable = QStringLiteral("%1: %2").arg(path, file.errorString());
    return report;
  }
  QList<QByteArray> lines = file.readAll().split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty())
    lines.removeLast();
  bool beforeWhole = false; // the line before is the last of report.records
  for (const QByteArray &line : lines) {
    const int number = ++report.lines;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    const auto record = document.isObject() ? recordFromJson(document.object()) : std::nullopt;
    if (!record) {
      report.problems.push_back({number, QStringLiteral("it is not a whole calibration record")});
      beforeWhole = false;
      continue;
    }
    if (const auto problem = chainProblem(document.object(), *record, number,
                                          beforeWhole ? &report.records.back().record : nullptr))
      report.problems.push_back({number, *problem});
    report.records.push_back({number, *record});
    beforeWhole = true;
  }
  checkHead(path, report);
  std::stable_sort(
      report.problems.begin(), report.problems.end(),
      [](const HistoryProblem &a, const HistoryProblem &b) { return a.record < b.record; });
  return report;
}

QString appendRecord(const QString &path, CalibrationRecord record) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    return QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).absolutePath());
  // Two programs appending at once would fork the chain.
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(5000))
    return QStringLiteral("another program holds %1.lock").arg(path);
  const HistoryReport report = readHistory(path);
  if (!report.unreadable.isEmpty())
    return report.unreadable;
  int segmentStart = 0;
  for (const NumberedRecord &each : report.records)
    if (!each.record.followsDamage.isEmpty())
      segmentStart = each.number;
  const auto damage =
      std::find_if(report.problems.begin(), report.problems.end(),
                   [&](const HistoryProblem &p) { return p.record > segmentStart; });
  record.followsDamage.clear();
  record.previousHash.clear();
  if (damage != report.problems.end())
    record.followsDamage = QStringLiteral("record %1: %2").arg(damage->record).arg(damage->what);
  else if (!report.records.empty())
    record.previousHash = report.records.back().record.hash;
  record.hash.clear();
  QJsonObject object = toJson(record);
  record.hash = recordHash(object);
  object.insert(QStringLiteral("hash"), record.hash);
  QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
  // A last line cut short keeps its own line; the new record starts on the next.
  QFile existing(path);
  if (existing.open(QIODevice::ReadOnly) && existing.size() > 0 &&
      existing.seek(existing.size() - 1) && existing.read(1) != "\n")
    line.prepend('\n');
  existing.close();
  const int lines = report.lines + 1;
  if (const QString error = appendDurably(path, line); !error.isEmpty())
    return QStringLiteral("%1: %2").arg(path, error);
  const QByteArray head = QByteArray::number(lines) + ' ' + record.hash.toLatin1() + '\n';
  if (const QString error = replaceDurably(historyHeadPath(path), head); !error.isEmpty())
    return QStringLiteral("%1: %2").arg(historyHeadPath(path), error);
  return {};
}

bool sameCalibration(const ProbeValues &a, const ProbeValues &b) {
  return common::bareNumber(a.offset) == common::bareNumber(b.offset) &&
         common::bareNumber(a.slope) == common::bareNumber(b.slope) &&
         a.serialNumber == b.serialNumber && a.date == b.date;
}

const CalibrationRecord *recordThatWrote(const HistoryReport &report, int probe,
                                         const ProbeValues &values) {
  for (auto it = report.records.rbegin(); it != report.records.rend(); ++it)
    if (it->record.probe == probe && sameCalibration(it->record.after, values))
      return &it->record;
  return nullptr;
}

const NumberedRecord *recordInForce(const HistoryReport &report, const RunCalibration &run) {
  for (auto it = report.records.rbegin(); it != report.records.rend(); ++it) {
    const CalibrationRecord &r = it->record;
    if (r.probe == run.probe && r.time <= run.start && r.after.serialNumber == run.serialNumber &&
        common::bareNumber(r.after.offset) == common::bareNumber(run.offset) &&
        common::bareNumber(r.after.slope) == common::bareNumber(run.slope))
      return &*it;
  }
  return nullptr;
}

QString recordInForceText(const HistoryReport &report, const RunCalibration &run) {
  const NumberedRecord *match = recordInForce(report, run);
  if (!match)
    return QStringLiteral("Probe %1: no calibration record matches the run's values (S/N %2, "
                          "offset %3 V, slope %4)")
        .arg(run.probe)
        .arg(run.serialNumber, common::bareNumber(run.offset), common::bareNumber(run.slope));
  const CalibrationRecord &r = match->record;
  return QStringLiteral("Probe %1: record %2, saved %3 by %4@%5 from %6")
      .arg(run.probe)
      .arg(match->number)
      .arg(r.time.toUTC().toString(Qt::ISODate), r.user, r.host,
           r.buffers.empty() ? QStringLiteral("typed values") : QStringLiteral("buffers"));
}

} // namespace calibration
