#include "logging/log_selection.h"

#include <QDateTime>

namespace logging {

std::optional<qint64> wallSecondsFromIso(const QString &text) {
  const QString t = text.trimmed();
  const QDate dateOnly = QDate::fromString(t, Qt::ISODate);
  if (dateOnly.isValid() && t.size() == 10)
    return wallSecondsOf(dateOnly, 0);
  QString normal = t;
  if (normal.size() > 10 && normal[10] == QLatin1Char(' '))
    normal[10] = QLatin1Char('T');
  // A zone would make the time another clock's than the log's: refused.
  if (normal.endsWith(QLatin1Char('Z')) || normal.indexOf(QLatin1Char('+'), 10) >= 0 ||
      normal.indexOf(QLatin1Char('-'), 11) >= 0)
    return std::nullopt;
  const QDateTime when = QDateTime::fromString(normal, Qt::ISODate);
  if (!when.isValid())
    return std::nullopt;
  return wallSecondsOf(when.date(), when.time().msecsSinceStartOfDay() / 1000);
}

} // namespace logging
