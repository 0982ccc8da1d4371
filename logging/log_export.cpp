#include "logging/log_export.h"

#include "common/json_number.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <xlsxwriter.h>

#include <charconv>
#include <cmath>

namespace logging {
namespace {

// What the runs' rows are made of, gathered as the records pass.
struct RunRow {
  LogRun run;
  qint64 firstTime = 0;
  qint64 lastTime = 0;
  qsizetype records = 0;
};

class TableBase : public TableWriter {
public:
  void run(const LogRun &run) override { m_runs.push_back(RunRow{run, 0, 0, 0}); }
  QString errorText() const override { return m_error; }

protected:
  // Keeps the run rows' first and last times and counts.
  void count(const LogRecord &record) {
    RunRow &row = m_runs[record.run];
    if (row.records == 0)
      row.firstTime = record.wallSeconds;
    row.lastTime = record.wallSeconds;
    ++row.records;
  }

  std::vector<RunRow> m_runs;
  QString m_error;
};

// The shortest text that reads back to the same double, "." as the decimal point; nothing for a
// value that is not a finite number.
void appendNumber(QByteArray &out, double value) { common::appendJsonNumber(out, value); }

class CsvTable : public TableBase {
public:
  explicit CsvTable(const QString &path) : m_file(path) {}
  ~CsvTable() override {
    if (m_file.isOpen()) { // never finished: no half table is left behind
      m_file.close();
      m_file.remove();
    }
  }

  bool open(QString *error) {
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      *error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
      return false;
    }
    m_buffer = "run,time";
    for (int c = 0; c < LogColumnCount; ++c)
      m_buffer += ',' + columnName(c).toLatin1();
    m_buffer += '\n';
    return true;
  }

  bool record(const LogRecord &record) override {
    count(record);
    m_buffer += QByteArray::number(record.run + 1);
    m_buffer += ',';
    m_buffer += wallIsoText(record.wallSeconds).toLatin1();
    for (double value : record.values) {
      m_buffer += ',';
      appendNumber(m_buffer, value);
    }
    m_buffer += '\n';
    return m_buffer.size() < (1 << 20) || flushBuffer();
  }

  bool finish() override {
    if (!flushBuffer())
      return false;
    if (!m_file.flush()) {
      m_error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
      return false;
    }
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
      m_error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
      m_file.remove();
      return false;
    }
    return true;
  }

private:
  bool flushBuffer() {
    // A write that stops part-way (a full disk) returns a short count without a reason; writing
    // the rest then fails with the system's reason, which the message names.
    qint64 done = 0;
    while (done < m_buffer.size()) {
      const qint64 n = m_file.write(m_buffer.constData() + done, m_buffer.size() - done);
      if (n <= 0) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
      }
      done += n;
    }
    m_buffer.clear();
    return true;
  }

  QFile m_file;
  QByteArray m_buffer;
};

lxw_datetime excelTime(qint64 wallSeconds) {
  const QDate d = wallDate(wallSeconds);
  const int s = wallSecondsOfDay(wallSeconds);
  return lxw_datetime{d.year(), d.month(), d.day(), s / 3600, s / 60 % 60, double(s % 60)};
}

class XlsxTable : public TableBase {
public:
  explicit XlsxTable(const QString &path) : m_path(path) {}
  ~XlsxTable() override {
    if (m_book) { // never finished: no half workbook is left behind
      workbook_close(m_book);
      QFile::remove(m_path);
    }
  }

  bool open(QString *error) {
    // The workbook is only written at close; try the path now so that a wrong one fails before
    // the reading rather than after it.
    QFile probe(m_path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      *error = QStringLiteral("Cannot write %1: %2").arg(m_path, probe.errorString());
      return false;
    }
    probe.close();
    // Rows go to a temporary file as they come: a table of any length takes little memory.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    m_pathBytes = QFile::encodeName(m_path);
    m_book = workbook_new_opt(m_pathBytes.constData(), &options);
    if (!m_book) {
      *error = QStringLiteral("Cannot write %1").arg(m_path);
      QFile::remove(m_path);
      return false;
    }
    m_records = workbook_add_worksheet(m_book, "records");
    m_runSheet = workbook_add_worksheet(m_book, "runs");
    m_timeFormat = workbook_add_format(m_book);
    format_set_num_format(m_timeFormat, "yyyy-mm-dd hh:mm:ss");
    m_dateFormat = workbook_add_format(m_book);
    format_set_num_format(m_dateFormat, "yyyy-mm-dd");
    m_bold = workbook_add_format(m_book);
    format_set_bold(m_bold);
    worksheet_set_column(m_records, 1, 1, 20, nullptr);
    worksheet_set_column(m_records, 2, LogColumnCount + 1, 14, nullptr);
    worksheet_freeze_panes(m_records, 1, 0);
    worksheet_write_string(m_records, 0, 0, "run", m_bold);
    worksheet_write_string(m_records, 0, 1, "time", m_bold);
    for (int c = 0; c < LogColumnCount; ++c)
      worksheet_write_string(m_records, 0, lxw_col_t(c + 2), columnName(c).toLatin1().constData(),
                             m_bold);
    return true;
  }

  bool record(const LogRecord &record) override {
    if (m_row >= LXW_ROW_MAX) {
      m_error = QStringLiteral("%1: more than %2 records do not fit one worksheet; export to "
                               ".csv instead.")
                    .arg(m_path)
                    .arg(LXW_ROW_MAX - 1);
      return false;
    }
    count(record);
    worksheet_write_number(m_records, m_row, 0, record.run + 1, nullptr);
    writeTime(m_records, m_row, 1, record.wallSeconds);
    for (int c = 0; c < LogColumnCount; ++c)
      if (std::isfinite(record.values[c]))
        worksheet_write_number(m_records, m_row, lxw_col_t(c + 2), record.values[c], nullptr);
    ++m_row;
    return true;
  }

  bool finish() override {
    writeRuns();
    const lxw_error result = workbook_close(m_book);
    m_book = nullptr;
    if (result != LXW_NO_ERROR) {
      m_error = QStringLiteral("Cannot write %1: %2")
                    .arg(m_path, QString::fromLatin1(lxw_strerror(result)));
      QFile::remove(m_path);
      return false;
    }
    return true;
  }

private:
  // Excel's dates start in 1900; an earlier one stays text.
  void writeTime(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t col, qint64 wallSeconds) {
    lxw_datetime t = excelTime(wallSeconds);
    if (t.year >= 1900)
      worksheet_write_datetime(sheet, row, col, &t, m_timeFormat);
    else
      writeText(sheet, row, col, wallIsoText(wallSeconds));
  }

  static void writeText(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t col, const QString &text) {
    // A cell holds at most 32767 characters.
    const QByteArray bytes = text.left(32767).toUtf8();
    worksheet_write_string(sheet, row, col, bytes.constData(), nullptr);
  }

  // A header value that reads as a number is stored as one; otherwise as its text.
  static void writeValue(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t col, const QString &text) {
    const double value = headerNumber(text);
    if (std::isfinite(value))
      worksheet_write_number(sheet, row, col, value, nullptr);
    else if (!text.isEmpty())
      writeText(sheet, row, col, text);
  }

  // The runs sheet: the run's number, date and version, the probe lines, then the run's extent.
  void writeRuns() {
    QList<QByteArray> titles = {"run", "date", "version"};
    for (const ProbeFieldInfo &field : kProbeFields)
      titles << QByteArray(field.tidyName.data(), qsizetype(field.tidyName.size()));
    titles << "first_time"
           << "last_time"
           << "records"
           << "header_line";
    for (int c = 0; c < titles.size(); ++c)
      worksheet_write_string(m_runSheet, 0, lxw_col_t(c), titles[c].constData(), m_bold);
    worksheet_set_column(m_runSheet, 0, lxw_col_t(titles.size() - 1), 16, nullptr);
    lxw_row_t row = 1;
    for (size_t i = 0; i < m_runs.size(); ++i, ++row)
      writeRun(row, i, m_runs[i]);
  }

  void writeRun(lxw_row_t row, size_t index, const RunRow &r) {
    worksheet_write_number(m_runSheet, row, 0, double(index + 1), nullptr);
    const QDate d = r.run.date;
    if (d.year() >= 1900) {
      lxw_datetime day{d.year(), d.month(), d.day(), 0, 0, 0};
      worksheet_write_datetime(m_runSheet, row, 1, &day, m_dateFormat);
    } else {
      writeText(m_runSheet, row, 1, d.toString(Qt::ISODate));
    }
    writeText(m_runSheet, row, 2, r.run.version);
    lxw_col_t col = 3;
    for (const ProbeFieldInfo &field : kProbeFields) {
      const QString &text = r.run.*field.member;
      if (field.number)
        writeValue(m_runSheet, row, col++, text);
      else
        writeText(m_runSheet, row, col++, text);
    }
    if (r.records > 0) {
      writeTime(m_runSheet, row, col, r.firstTime);
      writeTime(m_runSheet, row, col + 1, r.lastTime);
    }
    worksheet_write_number(m_runSheet, row, col + 2, double(r.records), nullptr);
    worksheet_write_number(m_runSheet, row, col + 3, double(r.run.headerLine), nullptr);
  }

  QString m_path;
  QByteArray m_pathBytes;
  lxw_workbook *m_book = nullptr;
  lxw_worksheet *m_records = nullptr;
  lxw_worksheet *m_runSheet = nullptr;
  lxw_format *m_timeFormat = nullptr;
  lxw_format *m_dateFormat = nullptr;
  lxw_format *m_bold = nullptr;
  lxw_row_t m_row = 1;
};

QString damagedNote(const LogReadSummary &summary) {
  return QStringLiteral("%1 damaged line(s) skipped, the first at line %2")
      .arg(summary.damagedLines)
      .arg(summary.firstDamagedLine);
}

} // namespace

std::optional<TableFormat> tableFormatFor(const QString &path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("csv"))
    return TableFormat::Csv;
  if (suffix == QLatin1String("xlsx"))
    return TableFormat::Xlsx;
  return std::nullopt;
}

std::unique_ptr<TableWriter> TableWriter::open(const QString &path, QString *error) {
  const auto format = tableFormatFor(path);
  if (!format) {
    *error = QStringLiteral("Cannot tell the table type of %1: its name must end in .csv or .xlsx")
                 .arg(path);
    return nullptr;
  }
  if (*format == TableFormat::Csv) {
    auto table = std::make_unique<CsvTable>(path);
    if (!table->open(error))
      return nullptr;
    return table;
  }
  auto table = std::make_unique<XlsxTable>(path);
  if (!table->open(error))
    return nullptr;
  return table;
}

bool exportLog(const LogFile &log, const QString &outPath, QString *error,
               const LogProgress &progress, const LogSelection &selection) {
  auto table = TableWriter::open(outPath, error);
  if (!table)
    return false;
  const qint64 total = qint64(log.records.size());
  for (const LogRun &run : log.runs) {
    table->run(run);
    const qsizetype end = run.firstRecord + run.recordCount;
    for (qsizetype i = run.firstRecord; i < end; ++i) {
      if (progress && i % 4096 == 0 && !progress(i, total)) {
        *error = QStringLiteral("The export was cancelled.");
        return false;
      }
      const LogRecord &record = log.records[size_t(i)];
      if (selection.takes(record) && !table->record(record)) {
        *error = table->errorText();
        return false;
      }
    }
  }
  if (!table->finish()) {
    *error = table->errorText();
    return false;
  }
  return true;
}

namespace {

// Runs numbered on from the files read before: the sink sees one log of many runs.
class RunsNumberedOn : public LogSink {
public:
  explicit RunsNumberedOn(LogSink &inner) : m_inner(inner) {}
  void nextFile() { m_offset = m_runs; }
  void run(const LogRun &run) override {
    ++m_runs;
    m_inner.run(run);
  }
  bool record(const LogRecord &record) override {
    LogRecord numbered = record;
    numbered.run += m_offset;
    return m_inner.record(numbered);
  }
  QString errorText() const override { return m_inner.errorText(); }

private:
  LogSink &m_inner;
  int m_runs = 0;
  int m_offset = 0;
};

} // namespace

int exportLogCommand(const QString &inPath, const QString &outPath, QTextStream &err) {
  return exportLogCommand(QStringList{inPath}, outPath, err);
}

int exportLogCommand(const QStringList &inPaths, const QString &outPath, QTextStream &err,
                     const LogSelection &selection) {
  if (!tableFormatFor(outPath)) {
    err << "brellis: --export-log writes .csv or .xlsx, not \"" << outPath << "\"\n";
    return 2;
  }
  QString error;
  auto table = TableWriter::open(outPath, &error);
  if (!table) {
    err << "brellis: " << error << '\n';
    return 1;
  }
  SelectedRecords selected(*table, selection);
  RunsNumberedOn numbered(selected);
  std::vector<std::pair<QString, LogReadSummary>> damaged;
  for (const QString &inPath : inPaths) {
    QFile in(inPath);
    if (!in.open(QIODevice::ReadOnly)) {
      err << "brellis: cannot read " << inPath << ": " << in.errorString() << '\n';
      return 1;
    }
    numbered.nextFile();
    const LogReadSummary summary = readLog(in, numbered);
    if (!summary.ok) {
      if (!table->errorText().isEmpty())
        err << "brellis: " << table->errorText() << '\n';
      else
        err << "brellis: " << inPath << ": " << summary.error << '\n';
      return 1;
    }
    if (summary.damagedLines > 0)
      damaged.emplace_back(inPath, summary);
  }
  if (!table->finish()) {
    err << "brellis: " << table->errorText() << '\n';
    return 1;
  }
  for (const auto &[inPath, summary] : damaged)
    err << "brellis: " << inPath << ": " << damagedNote(summary) << '\n';
  return 0;
}

} // namespace logging
