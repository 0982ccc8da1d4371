#include "calibration/history_table.h"

#include "common/number_text.h"

namespace calibration {
namespace {

QString changes(const CalibrationRecord &r) {
  QStringList parts;
  const auto number = [&](const char *name, double before, double after, const char *unit) {
    if (common::bareNumber(before) != common::bareNumber(after))
      parts << QStringLiteral("%1 %2 → %3%4")
                   .arg(QLatin1String(name), common::bareNumber(before), common::bareNumber(after),
                        QLatin1String(unit));
  };
  number("offset", r.before.offset, r.after.offset, " V");
  number("slope", r.before.slope, r.after.slope, "");
  if (r.before.serialNumber != r.after.serialNumber)
    parts << QStringLiteral("S/N %1 → %2").arg(r.before.serialNumber, r.after.serialNumber);
  if (r.before.date != r.after.date)
    parts << QStringLiteral("date %1 → %2")
                 .arg(r.before.date.toString(Qt::ISODate), r.after.date.toString(Qt::ISODate));
  return parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral("; "));
}

QString source(const CalibrationRecord &r) {
  if (r.buffers.empty())
    return r.source();
  QStringList buffers;
  for (const MeasuredBuffer &b : r.buffers)
    buffers << QStringLiteral("pH %1 at %2 °C: %3 mV%4")
                   .arg(common::bareNumber(b.ph), common::bareNumber(b.celsius),
                        common::bareNumber(b.millivolts),
                        b.stable ? QString() : QStringLiteral(" (not stable)"));
  return QStringLiteral("buffers (%1; worst residual %2 pH; temperature from %3)")
      .arg(buffers.join(QStringLiteral(", ")), common::bareNumber(r.worstResidualPh),
           r.temperatureSource);
}

QString notes(const CalibrationRecord &r) {
  QStringList parts;
  if (!r.overridden.isEmpty())
    parts << QStringLiteral("limits overridden: ") + r.overridden;
  if (!r.followsDamage.isEmpty())
    parts << QStringLiteral("follows a damaged history (") + r.followsDamage + QLatin1Char(')');
  return parts.join(QStringLiteral("; "));
}

QByteArray csvField(const QString &text) {
  QByteArray bytes = text.toUtf8();
  if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
    bytes = '"' + bytes.replace("\"", "\"\"") + '"';
  return bytes;
}

} // namespace

QStringList historyColumns() {
  return {QStringLiteral("Record"),    QStringLiteral("Time (UTC)"), QStringLiteral("Probe"),
          QStringLiteral("S/N"),       QStringLiteral("By"),         QStringLiteral("Changed"),
          QStringLiteral("Offset, V"), QStringLiteral("Slope"),      QStringLiteral("Date"),
          QStringLiteral("Source"),    QStringLiteral("Reason"),     QStringLiteral("Notes")};
}

QStringList historyRow(const NumberedRecord &n) {
  const CalibrationRecord &r = n.record;
  return {QString::number(n.number),
          r.time.toUTC().toString(Qt::ISODate),
          QString::number(r.probe),
          r.after.serialNumber,
          r.user + QLatin1Char('@') + r.host,
          changes(r),
          common::bareNumber(r.after.offset),
          common::bareNumber(r.after.slope),
          r.after.date.toString(Qt::ISODate),
          source(r),
          r.reason,
          notes(r)};
}

std::vector<NumberedRecord> recordsNewestFirst(const HistoryReport &report, int probe) {
  std::vector<NumberedRecord> rows;
  for (auto it = report.records.rbegin(); it != report.records.rend(); ++it)
    if (probe == 0 || it->record.probe == probe)
      rows.push_back(*it);
  return rows;
}

QByteArray historyCsv(const std::vector<NumberedRecord> &records) {
  const auto line = [](const QStringList &fields) {
    QByteArrayList out;
    for (const QString &field : fields)
      out << csvField(field);
    return out.join(',') + "\r\n";
  };
  QByteArray csv = line(historyColumns());
  for (const NumberedRecord &record : records)
    csv += line(historyRow(record));
  return csv;
}

} // namespace calibration
