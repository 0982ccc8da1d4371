#include "logging/log_reader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <charconv>
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

constexpr string_view kTitle = "Brellis DGH Contoller Logging Program";
constexpr string_view kColumnLine =
    "Time, Therm1, Therm2, Therm3, pH-1 mV, pH-2 mV, pH-1 value, pH-2 value, Flow frequency, "
    "liters/min, Total Liters, Therm 1 offset, Therm 2 offset, Therm 3 offset, pH1 corr, pH2 corr";

struct Item {
  string_view text; // without the quotes; doubled quotes still doubled
  bool quoted = false;
};

// Splits a line into its items. False when a quoted item is not closed or is followed by
// anything but a comma.
bool splitItems(string_view line, Item *items, int maxItems, int &count) {
  count = 0;
  size_t i = 0;
  while (true) {
    if (count == maxItems)
      return false;
    Item &item = items[count++];
    if (i < line.size() && line[i] == '"') {
      size_t j = i + 1;
      while (true) {
        const size_t q = line.find('"', j);
        if (q == string_view::npos)
          return false;
        if (q + 1 < line.size() && line[q + 1] == '"') {
          j = q + 2;
          continue;
        }
        item.text = line.substr(i + 1, q - i - 1);
        item.quoted = true;
        i = q + 1;
        break;
      }
      if (i == line.size())
        return true;
      if (line[i] != ',')
        return false;
      ++i;
    } else {
      const size_t comma = line.find(',', i);
      item.text = line.substr(i, comma == string_view::npos ? string_view::npos : comma - i);
      item.quoted = false;
      if (comma == string_view::npos)
        return true;
      i = comma + 1;
    }
  }
}

QString itemText(string_view text) {
  QString out = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
  out.replace(QStringLiteral("\"\""), QStringLiteral("\""));
  return out;
}

bool parseNumber(string_view text, double &value) {
  if (text.empty())
    return false;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

// Total Liters: the regional decimal separator may be "," and "000" stands for no total yet.
bool parseTotal(string_view text, double &value) {
  if (text.empty() || text == "000") {
    value = kNaN;
    return true;
  }
  if (text.size() > 64)
    return false;
  char buf[64];
  for (size_t i = 0; i < text.size(); ++i)
    buf[i] = text[i] == ',' ? '.' : text[i];
  return parseNumber(string_view(buf, text.size()), value);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "hh:mm:ss" with any separator the locale used (":" or "."), the same one twice.
bool parseTimeOfDay(string_view t, int &seconds) {
  if (t.size() < 8 || !isDigit(t[0]) || !isDigit(t[1]))
    return false;
  size_t i = 2;
  while (i < t.size() && !isDigit(t[i]))
    ++i;
  const string_view sep = t.substr(2, i - 2);
  if (sep.empty() || t.size() != 6 + 2 * sep.size() || t.substr(4 + sep.size(), sep.size()) != sep)
    return false;
  const size_t m = 2 + sep.size();
  const size_t s = m + 2 + sep.size();
  if (!isDigit(t[m]) || !isDigit(t[m + 1]) || !isDigit(t[s]) || !isDigit(t[s + 1]))
    return false;
  const int hh = (t[0] - '0') * 10 + (t[1] - '0');
  const int mm = (t[m] - '0') * 10 + (t[m + 1] - '0');
  const int ss = (t[s] - '0') * 10 + (t[s + 1] - '0');
  if (hh > 23 || mm > 59 || ss > 59)
    return false;
  seconds = hh * 3600 + mm * 60 + ss;
  return true;
}

// #yyyy-mm-dd#
QDate parseDateItem(const Item &item) {
  const string_view t = item.text;
  if (item.quoted || t.size() != 12 || t[0] != '#' || t[5] != '-' || t[8] != '-' || t[11] != '#')
    return {};
  int parts[3] = {0, 0, 0};
  const size_t starts[3] = {1, 6, 9};
  const size_t lengths[3] = {4, 2, 2};
  for (int p = 0; p < 3; ++p)
    for (size_t k = 0; k < lengths[p]; ++k) {
      const char c = t[starts[p] + k];
      if (!isDigit(c))
        return {};
      parts[p] = parts[p] * 10 + (c - '0');
    }
  return QDate(parts[0], parts[1], parts[2]); // invalid for 2026-02-30
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
    Item items[17];
    int count = 0;
    if (!splitItems(text, items, 17, count)) {
      damaged(1);
      return true;
    }
    if (count == 1 && items[0].quoted) {
      headerLine(items[0].text);
      return true;
    }
    if (count == 2 && items[0].quoted && items[0].text == "Date: " && m_state == State::Header) {
      m_pending.date = parseDateItem(items[1]);
      ++m_pendingLines;
      if (!m_pending.date.isValid())
        damaged(0);
      return true;
    }
    if (count == 16 && m_state == State::Records)
      return record(items);
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
    if (text == kTitle) {
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
    if (text == kColumnLine) {
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
    struct Field {
      string_view label;
      QString LogRun::*member;
    };
    static const Field fields[] = {
        {"Version: ", &LogRun::version},
        {"Probe 1 Offset: ", &LogRun::probe1Offset},
        {"Probe 2 Offset: ", &LogRun::probe2Offset},
        {"Probe 1 Slope: ", &LogRun::probe1Slope},
        {"Probe 2 Slope: ", &LogRun::probe2Slope},
        {"Probe 1 Serial Number: ", &LogRun::probe1Serial},
        {"Probe 2 Serial Number: ", &LogRun::probe2Serial},
        {"Probe 1 Calibration Date: ", &LogRun::probe1CalDate},
        {"Probe 2 Calibration Date: ", &LogRun::probe2CalDate},
    };
    for (const Field &f : fields) {
      if (text.substr(0, f.label.size()) == f.label) {
        m_pending.*f.member = itemText(text.substr(f.label.size()));
        return;
      }
    }
    --m_pendingLines;
    damaged(1);
  }

  bool record(const Item *items) {
    LogRecord r;
    int second = 0;
    if (!items[0].quoted || !parseTimeOfDay(items[0].text, second)) {
      damaged(1);
      return true;
    }
    for (int i = 1; i < 16; ++i) {
      double &value = r.values[i - 1];
      const bool ok = i - 1 == TotalLiters ? items[i].quoted && parseTotal(items[i].text, value)
                                           : !items[i].quoted && parseNumber(items[i].text, value);
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
  return parseNumber(string_view(bytes.constData(), size_t(bytes.size())), value) ? value : kNaN;
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
  QByteArray buffer;
  bool skipping = false; // inside an overlong line, until its end
  bool sinkFailed = false;
  while (!sinkFailed) {
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
    buffer += chunk;
    qsizetype start = 0;
    while (true) {
      const qsizetype end = buffer.indexOf('\n', start);
      if (end < 0)
        break;
      if (skipping)
        skipping = false;
      else if (end - start > kMaxLineBytes)
        reader.overlongLine();
      else if (!reader.line(string_view(buffer.constData() + start, size_t(end - start)))) {
        sinkFailed = true;
        break;
      }
      start = end + 1;
    }
    buffer.remove(0, start);
    if (buffer.size() > kMaxLineBytes) {
      if (!skipping)
        reader.overlongLine();
      skipping = true;
      buffer.clear();
    }
    if (!reader.sawTitle() && done >= kHeaderSearchBytes)
      break;
  }
  if (sinkFailed) {
    summary.error = sink.errorText();
    return summary;
  }
  // A last line without its line end: a file cut short, or one still being written.
  if (!skipping && !buffer.isEmpty() &&
      !reader.line(string_view(buffer.constData(), size_t(buffer.size())))) {
    summary.error = sink.errorText();
    return summary;
  }
  reader.finish();
  if (!reader.sawTitle()) {
    summary.error = QStringLiteral("This is not a Brellis log file: it has no log header (the "
                                   "line \"Brellis DGH Contoller Logging Program\").");
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

QString columnName(int column) {
  static const char *const names[LogColumnCount] = {"therm1_C",
                                                    "therm2_C",
                                                    "therm3_C",
                                                    "ph1_mV",
                                                    "ph2_mV",
                                                    "ph1",
                                                    "ph2",
                                                    "flow_Hz",
                                                    "flow_L_per_min",
                                                    "total_L",
                                                    "therm1_offset_C",
                                                    "therm2_offset_C",
                                                    "therm3_offset_C",
                                                    "ph1_corr",
                                                    "ph2_corr"};
  return column >= 0 && column < LogColumnCount ? QString::fromLatin1(names[column]) : QString();
}

} // namespace logging
