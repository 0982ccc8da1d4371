#include "logging/log_reader.h"

#include "logging/log_items.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <limits>
#include <string_view>

namespace logging {
namespace {

using std::string_view;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kChunkBytes = 1 << 20;
// No line the writer makes comes near this; a longer one is garbage and is skipped unread.
constexpr qsizetype kMaxLineBytes = 64 * 1024;
// A log file starts with a header block; a megabyte without one is something else.
constexpr qint64 kHeaderSearchBytes = 1 << 20;
// A step back of the time of day by more than this is the next day; a smaller one is a clock
// set back (the end of summer time) within the same day.
constexpr int kClockSetBackSeconds = 3600;
constexpr qint64 kEpochJulianDay = 2440588; // 1970-01-01

using items::Item;

// A record's items: the time and the columns.
constexpr int kLineItems = 1 + LogColumnCount;

// The column line as the file's bytes hold it.
const std::string &columnLineBytes() {
  static const std::string line = logColumnLine().toStdString();
  return line;
}

class Reader {
public:
  Reader(LogSink &sink, LogReadSummary &summary) : m_sink(sink), m_summary(summary) {}

  // False when the sink refused a record.
  bool line(string_view text) {
    ++m_summary.lines;
    if (!text.empty() && text.back() == '\r')
      text.remove_suffix(1);
    if (text.empty())
      return true;
    Item parts[kLineItems];
    int count = 0;
    if (!items::splitItems(text, parts, kLineItems, count)) {
      damaged(1);
      return true;
    }
    if (count == 1 && parts[0].quoted) {
      headerLine(parts[0].text);
      return true;
    }
    if (count == 2 && parts[0].quoted && parts[0].text == kDateLabel && m_state == State::Header) {
      m_pending.date = items::parseDateItem(parts[1]);
      ++m_pendingLines;
      if (!m_pending.date.isValid())
        damaged(0);
      return true;
    }
    if (count == kLineItems && m_state == State::Records)
      return record(parts);
    damaged(1);
    return true;
  }

  void overlongLine() {
    ++m_summary.lines;
    damaged(1);
  }

  void finish() {
    if (m_state == State::Header)
      abandonHeader();
  }

  bool sawTitle() const { return m_sawTitle; }
  bool sawRun() const { return m_runs > 0; }

private:
  enum class State { None, Header, Records, Undated };

  void damaged(qint64 lines) {
    if (m_summary.firstDamagedLine == 0)
      m_summary.firstDamagedLine = m_summary.lines;
    m_summary.damagedLines += lines;
  }

  // A header that never reached its column line: its lines were no use.
  void abandonHeader() {
    if (m_summary.firstDamagedLine == 0 || m_pending.headerLine < m_summary.firstDamagedLine)
      m_summary.firstDamagedLine = m_pending.headerLine;
    m_summary.damagedLines += m_pendingLines;
    m_pendingLines = 0;
    m_state = State::None;
  }

  void headerLine(string_view text) {
    if (text == kLogTitle) {
      if (m_state == State::Header)
        abandonHeader();
      m_sawTitle = true;
      m_state = State::Header;
      m_pending = LogRun{};
      m_pending.headerLine = m_summary.lines;
      m_pendingLines = 1;
      return;
    }
    if (m_state != State::Header) {
      damaged(1);
      return;
    }
    ++m_pendingLines;
    if (text == columnLineBytes()) {
      if (!m_pending.date.isValid()) {
        // Records without a date cannot be placed in time.
        abandonHeader();
        m_state = State::Undated;
        return;
      }
      m_pending.firstRecord = m_records;
      m_sink.run(m_pending);
      m_state = State::Records;
      m_pendingLines = 0;
      m_runIndex = m_runs++;
      m_previousSecond = -1;
      m_dayOffset = 0;
      return;
    }
    if (text.substr(0, kVersionLabel.size()) == kVersionLabel) {
      m_pending.version = items::itemText(text.substr(kVersionLabel.size()));
      return;
    }
    for (const ProbeFieldInfo &f : kProbeFields) {
      if (text.substr(0, f.label.size()) == f.label) {
        m_pending.*f.member = items::itemText(text.substr(f.label.size()));
        return;
      }
    }
    --m_pendingLines;
    damaged(1);
  }

  bool record(const Item *parts) {
    LogRecord r;
    int second = 0;
    if (!parts[0].quoted || !items::parseTimeOfDay(parts[0].text, second)) {
      damaged(1);
      return true;
    }
    for (int c = 0; c < LogColumnCount; ++c) {
      const Item &item = parts[c + 1];
      double &value = r.values[c];
      const bool ok = kLogColumns[c].source ? !item.quoted && items::parseNumber(item.text, value)
                                            : item.quoted && items::parseTotal(item.text, value);
      if (!ok) {
        damaged(1);
        return true;
      }
    }
    if (m_previousSecond >= 0 && second < m_previousSecond - kClockSetBackSeconds)
      ++m_dayOffset;
    m_previousSecond = second;
    r.run = m_runIndex;
    r.wallSeconds = wallSecondsOf(m_pending.date, second) + qint64(m_dayOffset) * 86400;
    ++m_records;
    return m_sink.record(r);
  }

  LogSink &m_sink;
  LogReadSummary &m_summary;
  State m_state = State::None;
  LogRun m_pending;
  qint64 m_pendingLines = 0;
  bool m_sawTitle = false;
  int m_runs = 0;
  int m_runIndex = -1;
  qsizetype m_records = 0;
  int m_previousSecond = -1;
  int m_dayOffset = 0;
};

// Cuts the bytes read into lines for the reader. A line longer than any the writer makes is
// counted as damaged and skipped unread, up to its end.
class LineCutter {
public:
  explicit LineCutter(Reader &reader) : m_reader(reader) {}

  // False once the sink refused a record: nothing more is read.
  bool ok() const { return m_ok; }

  void add(const QByteArray &chunk) {
    m_buffer += chunk;
    qsizetype start = 0;
    while (m_ok) {
      const qsizetype end = m_buffer.indexOf('\n', start);
      if (end < 0)
        break;
      if (m_skipping)
        m_skipping = false;
      else if (end - start > kMaxLineBytes)
        m_reader.overlongLine();
      else
        m_ok = m_reader.line(string_view(m_buffer.constData() + start, size_t(end - start)));
      start = end + 1;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > kMaxLineBytes) {
      if (!m_skipping)
        m_reader.overlongLine();
      m_skipping = true;
      m_buffer.clear();
    }
  }

  // The bytes after the last line end, as a line of their own.
  void finish() {
    if (!m_skipping && !m_buffer.isEmpty())
      m_ok = m_reader.line(string_view(m_buffer.constData(), size_t(m_buffer.size())));
  }

private:
  Reader &m_reader;
  QByteArray m_buffer;
  bool m_skipping = false; // inside an overlong line, until its end
  bool m_ok = true;
};

class MemorySink : public LogSink {
public:
  explicit MemorySink(LogFile &file) : m_file(file) {}
  void run(const LogRun &run) override {
    closeRun();
    m_file.runs.append(run);
  }
  bool record(const LogRecord &record) override {
    m_file.records.push_back(record);
    return true;
  }
  void closeRun() {
    if (!m_file.runs.isEmpty())
      m_file.runs.last().recordCount =
          qsizetype(m_file.records.size()) - m_file.runs.last().firstRecord;
  }

private:
  LogFile &m_file;
};

} // namespace

double headerNumber(const QString &text) {
  QByteArray bytes = text.trimmed().toLatin1();
  bytes.replace(',', '.');
  double value = 0;
  return items::parseNumber(string_view(bytes.constData(), size_t(bytes.size())), value) ? value
                                                                                         : kNaN;
}

qint64 wallSecondsOf(const QDate &date, int secondsOfDay) {
  return (date.toJulianDay() - kEpochJulianDay) * 86400 + secondsOfDay;
}

QDate wallDate(qint64 wallSeconds) {
  qint64 days = wallSeconds / 86400;
  if (wallSeconds % 86400 < 0)
    --days;
  return QDate::fromJulianDay(days + kEpochJulianDay);
}

int wallSecondsOfDay(qint64 wallSeconds) {
  const qint64 rest = wallSeconds % 86400;
  return int(rest < 0 ? rest + 86400 : rest);
}

QString wallIsoText(qint64 wallSeconds) {
  const QDate d = wallDate(wallSeconds);
  const int s = wallSecondsOfDay(wallSeconds);
  return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(), s / 3600,
                           s / 60 % 60, s % 60);
}

LogReadSummary readLog(QIODevice &device, LogSink &sink, const LogProgress &progress) {
  LogReadSummary summary;
  Reader reader(sink, summary);
  const qint64 total = device.isSequential() ? -1 : device.size() - device.pos();
  qint64 done = 0;
  LineCutter cutter(reader);
  while (cutter.ok()) {
    if (progress && !progress(done, total)) {
      summary.cancelled = true;
      summary.error = QStringLiteral("The reading was cancelled.");
      return summary;
    }
    const QByteArray chunk =
        device.read(total >= 0 ? qMin(kChunkBytes, total - done) : kChunkBytes);
    if (chunk.isEmpty())
      break;
    done += chunk.size();
    cutter.add(chunk);
    if (!reader.sawTitle() && done >= kHeaderSearchBytes)
      break;
  }
  // A last line without its line end: a file cut short, or one still being written.
  if (cutter.ok())
    cutter.finish();
  if (!cutter.ok()) {
    summary.error = sink.errorText();
    return summary;
  }
  reader.finish();
  if (!reader.sawTitle()) {
    summary.error = QStringLiteral("This is not a Brellis log file: it has no log header (the "
                                   "line \"%1\").")
                        .arg(schemaText(kLogTitle));
    return summary;
  }
  if (!reader.sawRun()) {
    summary.error = QStringLiteral("This log file has no complete header: every header in it "
                                   "ends before its dated column line.");
    return summary;
  }
  if (progress)
    progress(done, total);
  summary.ok = true;
  return summary;
}

LogFile readLogFile(const QString &path, const LogProgress &progress) {
  LogFile file;
  QFile in(path);
  if (!in.open(QIODevice::ReadOnly)) {
    file.error = QStringLiteral("Cannot open %1: %2").arg(path, in.errorString());
    return file;
  }
  if (in.size() > kMaxLogFileBytes) {
    file.error =
        QStringLiteral("%1 is %2, larger than the %3 a log window can hold. Export it to a table "
                       "with brellis --export-log instead.")
            .arg(path, QLocale().formattedDataSize(in.size()),
                 QLocale().formattedDataSize(kMaxLogFileBytes));
    return file;
  }
  // A record takes about 90 bytes in the file.
  file.records.reserve(size_t(in.size() / 80));
  MemorySink sink(file);
  static_cast<LogReadSummary &>(file) = readLog(in, sink, progress);
  sink.closeRun();
  if (!file.ok && !file.cancelled)
    file.error = QStringLiteral("%1: %2").arg(path, file.error);
  return file;
}

LogFile readLogBytes(const QByteArray &bytes) {
  LogFile file;
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  MemorySink sink(file);
  static_cast<LogReadSummary &>(file) = readLog(buffer, sink);
  sink.closeRun();
  return file;
}

} // namespace logging
