#include "calibration/calibration_history.h"

#include "common/number_text.h"
#include "common/own_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>

namespace calibration {
namespace {

// Far more than any record (a few hundred bytes with its buffers); a longer line is no record,
// and holding it would let one line take any amount of memory.
constexpr qsizetype maxRecordLine = 1024 * 1024;
// The problems a report lists; a history damaged on every line is said by the first ones.
constexpr std::size_t maxProblems = 100;

struct Head {
  int records = 0;
  QString lastHash;
};

// What the head file says, or why it says nothing usable: "missing" or a damage to report.
struct HeadRead {
  std::optional<Head> head;
  bool missing = false;
  QString damage;
};

HeadRead readHead(const QString &historyPath) {
  const QString path = historyHeadPath(historyPath);
  const common::OwnFileRead file = common::readOwnFile(path, 4096);
  HeadRead read;
  read.missing = file.missing;
  if (file.missing)
    return read;
  if (!file.error.isEmpty()) {
    read.damage = QStringLiteral("the file that holds the last record's hash cannot be read (%1)")
                      .arg(file.error);
    return read;
  }
  // "<records> <64 hex digits>\n": we write it after the first record, so never 0 records.
  static const QRegularExpression form(QStringLiteral("^([1-9][0-9]{0,8}) ([0-9a-f]{64})\n?$"));
  const QRegularExpressionMatch match = form.match(QString::fromLatin1(file.bytes));
  if (!match.hasMatch()) {
    read.damage = QStringLiteral("the file %1 is damaged").arg(path);
    return read;
  }
  read.head = Head{match.captured(1).toInt(), match.captured(2)};
  return read;
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

// Reads the history a line at a time, checking each record as it comes. Keeps every whole
// record, or (for the check) only the last one and the one the head names.
class Scan {
public:
  Scan(HistoryReport &report, bool keepAll) : m_report(report), m_keepAll(keepAll) {}

  void problem(int record, const QString &what) {
    ++m_report.problemCount;
    if (record > m_segmentStart && (m_segmentProblem.record == 0 || record < m_segmentProblem.record))
      m_segmentProblem = {record, what};
    if (m_report.problems.size() < maxProblems)
      m_report.problems.push_back({record, what});
  }

  void line(const QByteArray &text, bool cut, int keepNumber) {
    const int number = ++m_report.lines;
    QJsonParseError error{};
    const QJsonDocument document = cut ? QJsonDocument() : QJsonDocument::fromJson(text, &error);
    const auto record = document.isObject() ? recordFromJson(document.object()) : std::nullopt;
    if (!record) {
      problem(number, QStringLiteral("it is not a whole calibration record"));
      m_last.reset();
      return;
    }
    if (!record->followsDamage.isEmpty()) {
      m_segmentStart = number;
      m_segmentProblem = {};
    }
    if (const auto why = chainProblem(document.object(), *record, number,
                                      m_last ? &m_last->record : nullptr))
      problem(number, *why);
    m_last = NumberedRecord{number, *record};
    if (m_keepAll || number == keepNumber)
      m_report.records.push_back(*m_last);
  }

  // After the last line: the last whole record is kept too.
  void finish() {
    m_report.lastRecord = m_last;
    if (!m_keepAll && m_last && (m_report.records.empty() || m_report.records.back().number != m_last->number))
      m_report.records.push_back(*m_last);
  }

  // The first damage after the last record that starts a segment: what a new record follows.
  HistoryProblem segmentDamage() const { return m_segmentProblem; }

private:
  HistoryReport &m_report;
  bool m_keepAll;
  std::optional<NumberedRecord> m_last; // the line before, when it was a whole record
  int m_segmentStart = 0;
  HistoryProblem m_segmentProblem;
};

void checkHead(const QString &path, const HeadRead &read, HistoryReport &report, Scan &scan) {
  const int at = std::max(report.lines, 1);
  if (read.missing) {
    if (report.lines > 0)
      scan.problem(report.lines, QStringLiteral("the file %1 that holds the last record's hash "
                                                "is missing")
                                     .arg(historyHeadPath(path)));
    return;
  }
  if (!read.head) {
    scan.problem(at, read.damage);
    return;
  }
  const Head &head = *read.head;
  if (head.records > report.lines) {
    report.missingRecords = head.records - report.lines;
    scan.problem(report.lines + 1, QStringLiteral("the history ends at record %1, but %2 were "
                                                  "written (records cut from the end)")
                                       .arg(report.lines)
                                       .arg(head.records));
    return;
  }
  // Records after the head's are ones whose head was not written (a crash in between): the
  // chain vouches for them.
  const auto match = std::find_if(report.records.begin(), report.records.end(),
                                  [&](const NumberedRecord &r) { return r.number == head.records; });
  if (match == report.records.end() || match->record.hash != head.lastHash)
    scan.problem(head.records, QStringLiteral("it is not the record that was written there"));
}

HistoryReport scanHistory(const QString &path, bool keepAll) {
  HistoryReport report;
  const HeadRead head = readHead(path);
  common::OwnFileReader file(path);
  if (!file.isOpen() && !file.missing()) {
    report.unreadable = file.error();
    return report;
  }
  Scan scan(report, keepAll);
  QByteArray line;
  bool cut = false;
  while (file.readLine(line, maxRecordLine, &cut))
    scan.line(line, cut, head.head ? head.head->records : 0);
  if (!file.error().isEmpty()) {
    report.unreadable = file.error();
    return report;
  }
  scan.finish();
  checkHead(path, head, report, scan);
  report.segmentDamage = scan.segmentDamage();
  std::stable_sort(
      report.problems.begin(), report.problems.end(),
      [](const HistoryProblem &a, const HistoryProblem &b) { return a.record < b.record; });
  return report;
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
  if (missingRecords > 0 && problems.front().record > lines)
    return QStringLiteral("history altered: %1 records missing").arg(missingRecords);
  return QStringLiteral("history altered at record %1: %2")
      .arg(problems.front().record)
      .arg(problems.front().what);
}

HistoryReport readHistory(const QString &path) { return scanHistory(path, true); }

HistoryReport checkHistory(const QString &path) { return scanHistory(path, false); }

QString appendRecord(const QString &path, CalibrationRecord record) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    return QStringLiteral("the folder %1 cannot be made").arg(QFileInfo(path).absolutePath());
  // Two programs appending at once would fork the chain.
  // (An empty file, so that a full disk does not stop the lock before the append can say why.)
  const common::OwnFileLock lock(path + QStringLiteral(".lock"), 5000);
  if (!lock.error().isEmpty())
    return lock.error();
  // A head that is not a file of ours is never replaced: refused before the history is touched.
  if (const QString refusal = common::ownFileRefusal(historyHeadPath(path)); !refusal.isEmpty())
    return refusal;
  const HistoryReport report = checkHistory(path);
  if (!report.unreadable.isEmpty())
    return report.unreadable;
  record.followsDamage.clear();
  record.previousHash.clear();
  if (report.segmentDamage.record > 0)
    record.followsDamage = QStringLiteral("record %1: %2")
                               .arg(report.segmentDamage.record)
                               .arg(report.segmentDamage.what);
  else if (report.lastRecord)
    record.previousHash = report.lastRecord->record.hash;
  record.hash.clear();
  QJsonObject object = toJson(record);
  record.hash = recordHash(object);
  object.insert(QStringLiteral("hash"), record.hash);
  const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
  // Whole or not at all: a full disk leaves the history as it was, and the next Save continues
  // the same chain.
  if (const QString error = common::appendWhole(path, line); !error.isEmpty())
    return error;
  const QByteArray head = QByteArray::number(report.lines + 1) + ' ' + record.hash.toLatin1() + '\n';
  return common::replaceWhole(historyHeadPath(path), head);
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
