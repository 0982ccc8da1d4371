#include "tests/history/log_window_support.h"

#include "calibration/calibration_history.h"
#include "history/log_window.h"
#include "logging/log_writer.h"
#include "state/operator_messages.h"

#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

TEST(LogWindow, ShowsBothRunsTheirHeadersAndTheChosenColumnsAndExportsThem) {
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  RecordedMessages messages;
  QString exportTo = dir.filePath("night.xlsx");
  history::LogWindowServices services = servicesWith(&messages);
  services.askExportPath = [&](QWidget *, const QString &) { return exportTo; };
  services.askExportChoice = [](QWidget *, const QStringList &) { return 0; };
  history::LogWindow window(services);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));

  auto *runs = find<QListWidget>(window, "lstRuns");
  ASSERT_EQ(runs->count(), 2);
  EXPECT_EQ(runs->item(0)->text(),
            QStringLiteral("Run 1: 2026-12-07 22:00:00 to 2026-12-08 01:59:50, 1440 record(s)"));
  EXPECT_EQ(runs->item(1)->text(),
            QStringLiteral("Run 2: 2026-12-08 08:00:00 to 2026-12-08 08:59:50, 360 record(s)"));
  EXPECT_EQ(find<QLabel>(window, "lblStatus")->text(),
            QDir::toNativeSeparators(path) + QStringLiteral(": 2 run(s), 1800 record(s)"));
  runs->setCurrentRow(1);
  const QString header = find<QPlainTextEdit>(window, "txtHeader")->toPlainText();
  EXPECT_TRUE(header.contains(QStringLiteral("Probe 1 Offset: 2,5801"))) << header.toStdString();
  EXPECT_TRUE(header.contains(QStringLiteral("Probe 2 Serial Number: A-7 spare")));
  auto *chart = find<QCustomPlot>(window, "chtLog");
  const double run2Start = double(logging::wallSecondsOf(QDate(2026, 12, 8), 8 * 3600));
  EXPECT_LT(chart->xAxis->range().lower, run2Start);
  EXPECT_GT(chart->xAxis->range().lower, run2Start - 120);

  // pH with and without the correction; a temperature with and without its offset. The chart
  // holds the points of its view: with the whole file in view the first is the file's first.
  find<QPushButton>(window, "cmdWholeFile")->click();
  const auto firstValue = [&](int graph) { return chart->graph(graph)->data()->at(0)->value; };
  EXPECT_DOUBLE_EQ(firstValue(0), 7.05);
  find<QCheckBox>(window, "chkPhCorr")->setChecked(false);
  EXPECT_DOUBLE_EQ(firstValue(0), 7.0);
  find<QCheckBox>(window, "chkTherm1")->setChecked(true);
  EXPECT_DOUBLE_EQ(firstValue(2), 20.5);
  find<QCheckBox>(window, "chkThermOffset")->setChecked(false);
  EXPECT_DOUBLE_EQ(firstValue(2), 21.0);
  find<QCheckBox>(window, "chkTotal")->setChecked(true);
  EXPECT_TRUE(std::isnan(firstValue(6))); // "000": no total yet
  EXPECT_TRUE(chart->yAxis2->visible());  // the temperatures'

  window.showCursorAt(double(logging::wallSecondsOf(QDate(2026, 12, 8), 3)));
  EXPECT_EQ(find<QLabel>(window, "lblCursor")->text().toStdString(),
            std::string("2026-12-08 00:00:00   run 1   pH1 7.0005   pH2 6.85"
                        "   Therm1 21.5   Total (L) 72"));

  // A picture of the window for a person to look at, when asked for.
  if (const QByteArray shot = qgetenv("BRELLIS_LOG_WINDOW_SHOT"); !shot.isEmpty()) {
    find<QCheckBox>(window, "chkPhCorr")->setChecked(true);
    find<QCheckBox>(window, "chkFlow")->setChecked(true);
    find<QPushButton>(window, "cmdWholeFile")->click();
    window.showCursorAt(double(logging::wallSecondsOf(QDate(2026, 12, 7), 23 * 3600)));
    chart->replot();
    window.grab().save(QString::fromLocal8Bit(shot));
  }

  QSignalSpy exported(&window, &history::LogWindow::exported);
  find<QPushButton>(window, "cmdExport")->click();
  ASSERT_TRUE(exported.wait(30000));
  EXPECT_TRUE(exported.takeFirst().first().toBool());
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
  EXPECT_TRUE(QFile::exists(exportTo));
  exportTo = dir.filePath("missing/night.csv");
  find<QPushButton>(window, "cmdExport")->click();
  ASSERT_TRUE(exported.wait(30000));
  EXPECT_FALSE(exported.takeFirst().first().toBool());
  EXPECT_EQ(messages.texts,
            QStringList({"Cannot write " + exportTo + ": No such file or directory"}));
}

TEST(LogWindow, AFileItCannotShowIsToldAndAReadCanBeCancelled) {
  QTemporaryDir dir;
  const QString notLog = dir.filePath("notes.txt");
  const QString damaged = dir.filePath("damaged.csv");
  const QString big = dir.filePath("big.csv");
  const QString huge = dir.filePath("huge.csv");
  {
    QFile f(huge);
    f.open(QIODevice::WriteOnly);
    f.resize(qint64(1) << 30); // sparse: takes no room on the disk
  }
  writeTwoRuns(damaged);
  QFile(notLog).open(QIODevice::WriteOnly);
  {
    QFile f(damaged);
    f.open(QIODevice::Append);
    f.write("\"09:00:00\",7,7,\x01\xff\r\n");
    QFile g(big);
    g.open(QIODevice::WriteOnly);
    f.seek(0);
    QFile src(damaged);
    src.open(QIODevice::ReadOnly);
    const QByteArray all = src.readAll();
    for (int i = 0; i < 200; ++i)
      g.write(all);
  }
  const struct {
    QString path;
    bool shown;
    QString message;
    QString status;
  } cases[] = {
      {dir.filePath("gone.csv"), false,
       "Cannot open " + dir.filePath("gone.csv") + ": No such file or directory", ""},
      {notLog, false,
       notLog + ": This is not a Brellis log file: it has no log header (the line \"Brellis DGH "
                "Contoller Logging Program\").",
       ""},
      // Too long to hold, so read as an overview, which finds no log in it either.
      {huge, false,
       huge + ": This is not a Brellis log file: it has no log header (the line \"Brellis DGH "
              "Contoller Logging Program\").",
       ""},
      {damaged, true, "",
       QDir::toNativeSeparators(damaged) +
           ": 2 run(s), 1800 record(s); 1 damaged line(s) skipped, the first at line 1833"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    RecordedMessages messages;
    history::LogWindow window(servicesWith(&messages));
    window.show();
    EXPECT_EQ(openAndWait(window, c.path), c.shown);
    EXPECT_EQ(messages.texts.join('|').toStdString(), c.message.toStdString());
    EXPECT_EQ(window.isVisible(), c.shown);
    if (c.shown) {
      EXPECT_EQ(find<QLabel>(window, "lblStatus")->text().toStdString(), c.status.toStdString());
    }
  }

  RecordedMessages messages;
  history::LogWindow window(servicesWith(&messages));
  window.show();
  QSignalSpy read(&window, &history::LogWindow::fileRead);
  window.openFile(big);
  EXPECT_TRUE(window.isReading());
  find<QPushButton>(window, "cmdCancel")->click();
  ASSERT_TRUE(read.wait(30000));
  EXPECT_FALSE(read.first().first().toBool());
  EXPECT_TRUE(messages.texts.isEmpty());
  EXPECT_FALSE(window.isVisible());
}

TEST(LogWindow, MarksTheRunsAlarmsFromTheJournalBesideTheLog) {
  BerlinClock berlin;
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  QFile journal(path + ".alarms.csv");
  ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
  journal.write("time,quantity,event,value,limit,user\n"
                "2026-12-07T22:00:00Z,ph1,raised,7.31,7.3,\n"
                "2026-12-07T22:05:00Z,ph1,acknowledged,,,lab\n"
                "this line is damaged\n"
                "2026-12-07T22:30:00Z,ph1,returned,7.2,7.3,\n"
                "2026-12-08T07:10:00Z,therm,raised,,,\n");
  journal.close();
  RecordedMessages messages;
  history::LogWindow window(servicesWith(&messages));
  window.resize(1100, 640);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));

  EXPECT_EQ(find<QLabel>(window, "lblStatus")->text().toStdString(),
            (QDir::toNativeSeparators(path) +
             ": 2 run(s), 1800 record(s); 4 alarm event(s) from night.csv.alarms.csv, 1 "
             "damaged line(s) skipped")
                .toStdString());
  auto *alarms = find<QListWidget>(window, "lstAlarms");
  ASSERT_EQ(alarms->count(), 4);
  EXPECT_EQ(alarms->item(0)->text().toStdString(),
            "2026-12-07 23:00:00  pH 1 raised at 7.31 (limit 7.3)");
  EXPECT_EQ(alarms->item(1)->text().toStdString(),
            "2026-12-07 23:05:00  pH 1 acknowledged, by lab");
  EXPECT_EQ(alarms->item(3)->text().toStdString(),
            "2026-12-08 08:10:00  Thermistor modules (no reading) raised");

  // A line across the chart for each raise (solid) and return (dashed), in its trace's colour:
  // the share of a column's lowest 40 pixels in that colour, where no trace passes.
  auto *chart = find<QCustomPlot>(window, "chtLog");
  const QImage drawn = chart->toPixmap().toImage();
  const auto share = [&](qint64 at, QColor colour) {
    const int x = int(std::lround(chart->xAxis->coordToPixel(double(at))));
    const int bottom = chart->axisRect()->bottom() - 2;
    int count = 0;
    for (int y = bottom - 40; y < bottom; ++y)
      count += drawn.pixelColor(x, y).rgb() == colour.rgb();
    return count / 40.0;
  };
  const QColor green(Qt::green), white(0xF0F0F0);
  EXPECT_EQ(share(wall(7, 23, 0), green), 1.0);
  EXPECT_GT(share(wall(7, 23, 30), green), 0.4);
  EXPECT_LT(share(wall(7, 23, 30), green), 0.9);
  EXPECT_EQ(share(wall(8, 8, 10), white), 1.0);
  EXPECT_EQ(share(wall(7, 23, 15), green), 0.0);

  // The mouse over a mark names it in the read-out and the tool tip.
  window.showCursorAt(double(wall(7, 23, 0)));
  const QString named = "alarm 2026-12-07 23:00:00 pH 1 raised at 7.31 (limit 7.3)";
  EXPECT_TRUE(find<QLabel>(window, "lblCursor")->text().endsWith(named))
      << find<QLabel>(window, "lblCursor")->text().toStdString();
  EXPECT_EQ(chart->toolTip().toStdString(), named.toStdString());
  window.showCursorAt(double(wall(7, 23, 15)));
  EXPECT_TRUE(chart->toolTip().isEmpty());

  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    find<QCheckBox>(window, "chkTherm1")->setChecked(true);
    alarms->setCurrentRow(0);
    chart->xAxis->setRange(double(wall(7, 22, 30)), double(wall(8, 0, 0)));
    window.showCursorAt(double(wall(7, 23, 0)));
    chart->replot();
    window.grab().save(folder + "/log-window-alarms.png");
  }
  EXPECT_TRUE(messages.texts.isEmpty());
}

// A run taken up again after an unclean end: its events listed with the alarms, and the hole
// between the last record before it and the resume shaded on the chart with its length.
TEST(LogWindow, ShadesAResumedRunsHoleAndListsTheRunsEvents) {
  BerlinClock berlin;
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  QFile events(path + ".events.csv");
  ASSERT_TRUE(events.open(QIODevice::WriteOnly));
  events.write("time,event,detail,user\n"
               "2026-12-08T07:00:00Z,resumed,\"after an unclean end; the last record "
               "2026-12-08T01:59:50 (local time)\",lab\n"
               "not an event\n"
               "2026-12-08T07:20:00Z,port_lost,/dev/ttyUSB0,lab\n");
  events.close();
  RecordedMessages messages;
  history::LogWindow window(servicesWith(&messages));
  window.resize(1100, 640);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));

  EXPECT_TRUE(find<QLabel>(window, "lblStatus")
                  ->text()
                  .endsWith("1800 record(s); 2 run event(s), 1 damaged line(s) skipped"))
      << find<QLabel>(window, "lblStatus")->text().toStdString();
  auto *list = find<QListWidget>(window, "lstAlarms");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(),
            "2026-12-08 08:00:00  resumed: after an unclean end; the last record "
            "2026-12-08T01:59:50 (local time), by lab");
  EXPECT_EQ(list->item(1)->text().toStdString(),
            "2026-12-08 08:20:00  port lost: /dev/ttyUSB0, by lab");
  auto *chart = find<QCustomPlot>(window, "chtLog");
  QStringList labels;
  int bands = 0;
  for (int k = 0; k < chart->itemCount(); ++k) {
    if (auto *text = qobject_cast<QCPItemText *>(chart->item(k)))
      if (!text->text().endsWith(" not read")) // the lanes' names
        labels << text->text();
    auto *rect = qobject_cast<QCPItemRect *>(chart->item(k));
    if (rect && rect->topLeft->coords().y() == 0) { // the hole's, not a lane's
      ++bands;
      EXPECT_EQ(rect->topLeft->coords().x(), double(wall(8, 1, 59) + 50));
      EXPECT_EQ(rect->bottomRight->coords().x(), double(wall(8, 8, 0)));
    }
  }
  EXPECT_EQ(bands, 1);
  EXPECT_EQ(labels, QStringList{"no record for 6 h 0 min"});
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    chart->xAxis->setRange(double(wall(8, 0, 0)), double(wall(8, 9, 0)));
    chart->replot();
    window.grab().save(folder + "/log-window-hole.png");
  }
  EXPECT_TRUE(messages.texts.isEmpty());
}

TEST(LogWindow, MarksTheSpansEachChannelWasNotReadInItsOwnLane) {
  BerlinClock berlin;
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  QFile events(path + ".events.csv");
  ASSERT_TRUE(events.open(QIODevice::WriteOnly));
  events.write("time,event,detail,user\n"
               "2026-12-08T07:10:00Z,channel_off,flow,lab\n"
               "2026-12-08T07:15:00Z,message,NO VALID RETURN FROM FLOW MODULE,lab\n"
               "2026-12-08T07:16:00Z,message_answered,,lab\n"
               "2026-12-08T07:40:00Z,channel_on,flow,lab\n"
               "2026-12-08T07:50:00Z,port_lost,/dev/ttyUSB0,lab\n");
  events.close();
  RecordedMessages messages;
  history::LogWindow window(servicesWith(&messages));
  window.resize(1100, 640);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));
  auto *chart = find<QCustomPlot>(window, "chtLog");
  // Lanes from the top: pH, flow, thermistors; a span of every channel fills the three.
  std::vector<std::array<double, 4>> lanes;
  for (int k = 0; k < chart->itemCount(); ++k)
    if (auto *rect = qobject_cast<QCPItemRect *>(chart->item(k)))
      lanes.push_back({rect->topLeft->coords().x(), rect->bottomRight->coords().x(),
                       rect->topLeft->coords().y(), rect->bottomRight->coords().y()});
  ASSERT_EQ(lanes.size(), 3u);
  const auto laneOf = [](double y) { return int(std::lround((y - 0.1) / 0.035)); };
  EXPECT_EQ(lanes[0][0], double(wall(8, 8, 15))); // the box waited: every channel
  EXPECT_EQ(lanes[0][1], double(wall(8, 8, 16)));
  EXPECT_EQ(laneOf(lanes[0][2]), 0);
  EXPECT_EQ(laneOf(lanes[0][3] + 0.005), 3);
  EXPECT_EQ(lanes[1][0], double(wall(8, 8, 10))); // flow, switched off until switched on
  EXPECT_EQ(lanes[1][1], double(wall(8, 8, 40)));
  EXPECT_EQ(laneOf(lanes[1][2]), 1);
  EXPECT_EQ(laneOf(lanes[1][3] + 0.005), 2);
  EXPECT_EQ(lanes[2][0], double(wall(8, 8, 50))); // the port never back: to the last record
  EXPECT_EQ(lanes[2][1], double(wall(8, 8, 59) + 50));
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    chart->xAxis->setRange(double(wall(8, 7, 55)), double(wall(8, 9, 5)));
    chart->replot();
    window.grab().save(folder + "/log-window-not-read.png");
  }
  EXPECT_TRUE(messages.texts.isEmpty());
}

// Probe 1 was saved with run 1's values before it and again, the same values, half an hour after
// it began; run 2 began after a save with its new offset. Probe 2 has no record.
void writeHistory(const QString &path) {
  const auto save = [&](const char *utc, double offset) {
    calibration::CalibrationRecord record;
    record.time = QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate);
    record.user = "lab", record.host = "bench", record.probe = 1;
    record.before = {2.5, 4.5, "180312", QDate(2026, 1, 1)};
    record.after = {offset, 4.5427, "180312", QDate(2026, 11, 30)};
    ASSERT_EQ(calibration::appendRecord(path, record), QString());
  };
  save("2026-11-30T09:00:00Z", 2.5777);
  save("2026-12-07T21:30:00Z", 2.5777);
  save("2026-12-08T06:30:00Z", 2.5801);
}

TEST(LogWindow, ShowsTheCalibrationRecordInForceAtEachRunsStartOrWhyNone) {
  BerlinClock berlin;
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  const QString history = calibration::historyFilePath();
  const QString where = QDir::toNativeSeparators(history);
  const QString noProbe1 = "Probe 1: no calibration record matches the run's values (S/N 180312, "
                           "offset %1 V, slope 4.5427)";
  const struct {
    std::function<void()> prepare;
    QString run1, run2, summary;
  } cases[] = {
      {[&] { writeHistory(history); },
       "Probe 1: record 1, saved 2026-11-30T09:00:00Z by lab@bench from typed values",
       "Probe 1: record 3, saved 2026-12-08T06:30:00Z by lab@bench from typed values",
       "Calibration history " + where + ": history intact (3 records)"},
      {[&] {
         QFile file(history);
         file.open(QIODevice::Append);
         file.write("not a record\n");
       },
       "Probe 1: record 1, saved 2026-11-30T09:00:00Z by lab@bench from typed values",
       "Probe 1: record 3, saved 2026-12-08T06:30:00Z by lab@bench from typed values",
       "Calibration history " + where +
           ": history altered at record 4: it is not a whole calibration record"},
      {[&] { QDir(QFileInfo(history).path()).removeRecursively(); }, noProbe1.arg("2.5777"),
       noProbe1.arg("2.5801"), "There is no calibration history at " + where + "."},
      {[&] { QDir().mkpath(history); }, noProbe1.arg("2.5777"), noProbe1.arg("2.5801"),
       "Calibration history " + where + ": history cannot be read: " + history +
           " is a folder, not a regular file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.summary.toStdString());
    c.prepare();
    RecordedMessages messages;
    history::LogWindow window(servicesWith(&messages));
    window.show();
    ASSERT_TRUE(openAndWait(window, path));
    auto *runs = find<QListWidget>(window, "lstRuns");
    auto *header = find<QPlainTextEdit>(window, "txtHeader");
    for (int run : {0, 1}) {
      runs->setCurrentRow(run);
      const QStringList lines = header->toPlainText().split('\n');
      const qsizetype at = lines.indexOf("Calibration in force at the run's start:");
      ASSERT_GE(at, 0) << header->toPlainText().toStdString();
      ASSERT_EQ(lines.size(), at + 4);
      EXPECT_EQ(lines[at + 1].toStdString(), (run == 0 ? c.run1 : c.run2).toStdString());
      EXPECT_EQ(lines[at + 2], "Probe 2: no calibration record matches the run's values (S/N A-7 "
                               "spare, offset 2.5791 V, slope 4.55)");
      EXPECT_EQ(lines[at + 3].toStdString(), c.summary.toStdString());
    }
    EXPECT_TRUE(messages.texts.isEmpty());
  }
  QDir(QFileInfo(history).path()).removeRecursively();
}

} // namespace
