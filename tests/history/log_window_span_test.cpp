// The log window's notes, its figures over a span and the export of what is chosen.
#include "tests/history/log_window_support.h"

#include "history/run_events.h"
#include "history/run_overlay.h"

#include <qcustomplot.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTemporaryDir>

namespace {

QStringList flagTexts(QCustomPlot &chart) {
  QStringList texts;
  for (int k = 0; k < chart.itemCount(); ++k)
    if (auto *text = qobject_cast<QCPItemText *>(chart.item(k)))
      texts << text->text();
  return texts;
}

TEST(LogWindowNotes, AreFlaggedAndListedAndOneAddedHereIsWrittenWholeBesideTheLog) {
  BerlinClock berlin;
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  QFile events(path + ".events.csv");
  ASSERT_TRUE(events.open(QIODevice::WriteOnly));
  events.write("time,event,detail,user\n"
               "2026-12-07T22:00:00Z,note,\"buffer, \"\"pH 7\"\"\nadded\",lab\n");
  events.close();
  RecordedMessages messages;
  history::LogWindowServices services = servicesWith(&messages);
  QString typed = QStringLiteral("rinsed, \"twice\"\nthen dried");
  services.askNote = [&](QWidget *, const QString &) { return std::optional<QString>(typed); };
  services.user = QStringLiteral("anna");
  history::LogWindow window(services);
  window.resize(1100, 700);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));

  auto *chart = find<QCustomPlot>(window, "chtLog");
  auto *list = find<QListWidget>(window, "lstAlarms");
  EXPECT_EQ(flagTexts(*chart), QStringList{"⚑ buffer, \"pH 7\""});
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text().toStdString(),
            "2026-12-07 23:00:00  note: buffer, \"pH 7\"\nadded, by lab");
  window.showCursorAt(double(wall(7, 23, 0)));
  EXPECT_EQ(chart->toolTip().toStdString(),
            "note 2026-12-07 23:00:00 buffer, \"pH 7\"\nadded, by lab");

  ASSERT_TRUE(window.addNoteAt(wall(8, 0, 30)));
  const history::RunEvents back = history::readRunEvents(path, QTimeZone::systemTimeZone());
  ASSERT_EQ(back.events.size(), 2u);
  EXPECT_EQ(back.events[1].wallSeconds, wall(8, 0, 30));
  EXPECT_EQ(back.events[1].detail, typed);
  EXPECT_EQ(back.events[1].user, "anna");
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(flagTexts(*chart).size(), 2);
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    chart->xAxis->setRange(double(wall(7, 22, 30)), double(wall(8, 1, 0)));
    window.showCursorAt(double(wall(7, 23, 0)));
    chart->replot();
    window.grab().save(folder + "/log-window-notes.png");
  }

  // A journal that cannot be written: said, and nothing is added.
  ASSERT_TRUE(QFile::remove(path + ".events.csv"));
  ASSERT_TRUE(QDir(dir.path()).mkdir("night.csv.events.csv"));
  EXPECT_FALSE(window.addNoteAt(wall(8, 1, 0)));
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains(path + ".events.csv")) << messages.texts[0].toStdString();
  typed.clear(); // an empty note is no note
  EXPECT_FALSE(window.addNoteAt(wall(8, 1, 0)));
  EXPECT_EQ(messages.texts.size(), 1);
}

TEST(LogWindowSpan, FiguresAgreeWithPythonAndCopyAndExportTakeTheSpan) {
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  RecordedMessages messages;
  QString exportTo = dir.filePath("span.csv");
  QStringList offered;
  history::LogWindowServices services = servicesWith(&messages);
  services.askExportPath = [&](QWidget *, const QString &) { return exportTo; };
  services.askExportChoice = [&](QWidget *, const QStringList &choices) {
    offered = choices;
    return int(choices.size()) - 1;
  };
  history::LogWindow window(services);
  window.resize(1100, 700);
  window.show();
  ASSERT_TRUE(openAndWait(window, path));
  for (const char *box : {"chkTherm1", "chkFlow"})
    find<QCheckBox>(window, box)->setChecked(true);

  // Over midnight: 23:30:00 to 00:45:00, 451 records of run 1.
  window.setSpan(wall(8, 0, 45), wall(7, 23, 30));
  auto *table = find<QTableWidget>(window, "tblStats");
  ASSERT_EQ(table->rowCount(), 4);
  EXPECT_EQ(table->item(0, 2)->text(), "451");
  QFile tsv(dir.filePath("figures.tsv"));
  ASSERT_TRUE(tsv.open(QIODevice::WriteOnly));
  tsv.write(history::figuresTsv(window.figures(), QLocale::c()).toUtf8());
  tsv.close();
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(BRELLIS_SOURCE_DIR "/tests/history/check_span_figures.py"), path,
                tsv.fileName(), "2026-12-07T23:30:00", "2026-12-08T00:45:00"});
  ASSERT_TRUE(python.waitForFinished(60000));
  EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardOutput().toStdString()
                                  << python.readAllStandardError().toStdString();

  // Copy: tab-separated, in the desktop's number form.
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  window.setSpan(wall(7, 23, 30), wall(8, 0, 45));
  find<QPushButton>(window, "cmdCopyStats")->click();
  const QStringList copied = QGuiApplication::clipboard()->text().split('\n');
  QLocale::setDefault(QLocale::c());
  ASSERT_EQ(copied.size(), 6); // titles, four rows, the last line's end
  EXPECT_TRUE(copied[0].startsWith("Series\tUnit\tRecords\tMinimum\tMaximum\tMean\t"));
  EXPECT_TRUE(copied[1].startsWith("pH1\tpH\t451\t")) << copied[1].toStdString();
  EXPECT_TRUE(copied[1].section('\t', 5, 5).contains(',')) << copied[1].toStdString();

  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    find<QPushButton>(window, "cmdWholeFile")->click();
    window.grab().save(folder + "/log-window-span.png");
  }

  QSignalSpy exported(&window, &history::LogWindow::exported);
  find<QPushButton>(window, "cmdExport")->click();
  ASSERT_TRUE(exported.wait(30000));
  EXPECT_TRUE(exported.takeFirst().first().toBool());
  ASSERT_EQ(offered.size(), 3);
  EXPECT_EQ(offered[2], "The chosen span: 2026-12-07 23:30:00 to 2026-12-08 00:45:00");
  QFile table2(exportTo);
  ASSERT_TRUE(table2.open(QIODevice::ReadOnly));
  const QList<QByteArray> rows = table2.readAll().split('\n');
  ASSERT_EQ(rows.size(), 453); // titles, 451 records, the end
  EXPECT_TRUE(rows[1].startsWith("1,2026-12-07T23:30:00,")) << rows[1].toStdString();
  EXPECT_TRUE(rows[451].startsWith("1,2026-12-08T00:45:00,")) << rows[451].toStdString();

  // The report of the span from the window: what pdftotext finds in it; a path it cannot write
  // is said and leaves nothing.
  exportTo = dir.filePath("span.pdf");
  ASSERT_TRUE(window.exportReport());
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {exportTo, QStringLiteral("-")});
  ASSERT_TRUE(pdftotext.waitForFinished(60000));
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
  EXPECT_TRUE(text.contains("Start: 2026-12-07 23:30:00 End: 2026-12-08 00:45:00"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("Probe 2 Serial Number: A-7 spare")) << text.toStdString();
  exportTo = dir.filePath("missing/span.pdf");
  EXPECT_FALSE(window.exportReport());
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Cannot write " + exportTo))
      << messages.texts[0].toStdString();
  EXPECT_FALSE(QFile::exists(exportTo));
  messages.texts.clear();

  // Between the runs: said, no table of blanks.
  window.setSpan(wall(8, 3, 0), wall(8, 5, 0));
  EXPECT_EQ(table->rowCount(), 0);
  EXPECT_EQ(find<QLabel>(window, "lblSpan")->text(),
            "No record in the span 2026-12-08 03:00:00 to 2026-12-08 05:00:00.");
  EXPECT_FALSE(find<QPushButton>(window, "cmdCopyStats")->isEnabled());
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

// A log too long to hold is shown as an overview; its counts, span figures and exports are the
// file's, as if it were held whole.
TEST(LogWindowOverview, CountsFiguresAndExportsAreTheWholeFiles) {
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  RecordedMessages messages;
  history::LogWindowServices whole = servicesWith(&messages);
  history::LogWindowServices overview = whole;
  overview.maxInMemoryBytes = 1;
  overview.overviewRecords = 200;
  QString exportTo;
  overview.askExportPath = whole.askExportPath = [&](QWidget *, const QString &) { return exportTo; };
  overview.askExportChoice = whole.askExportChoice = [](QWidget *, const QStringList &c) {
    return int(c.size()) - 1;
  };
  history::LogWindow held(whole), shown(overview);
  ASSERT_TRUE(openAndWait(held, path));
  ASSERT_TRUE(openAndWait(shown, path));
  ASSERT_TRUE(shown.log()->overview());
  EXPECT_LT(shown.log()->records.size(), held.log()->records.size());
  for (const char *list : {"lstRuns"})
    for (int row = 0; row < 2; ++row)
      EXPECT_EQ(find<QListWidget>(shown, list)->item(row)->text(),
                find<QListWidget>(held, list)->item(row)->text());
  EXPECT_TRUE(find<QLabel>(shown, "lblStatus")->text().contains("2 run(s), 1800 record(s); too long"));

  QStringList tables;
  for (history::LogWindow *window : {&held, &shown}) {
    window->setSpan(wall(7, 23, 30), wall(8, 0, 45));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isReading(); }, 30000));
    tables << window->figuresText();
    exportTo = dir.filePath(window == &held ? "held.csv" : "shown.csv");
    QSignalSpy exported(window, &history::LogWindow::exported);
    find<QPushButton>(*window, "cmdExport")->click();
    ASSERT_TRUE(exported.wait(30000));
    EXPECT_TRUE(exported.first().first().toBool());
  }
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    shown.resize(1100, 700);
    shown.show();
    find<QCustomPlot>(shown, "chtLog")->replot();
    shown.grab().save(folder + "/log-window-overview.png");
  }
  // The report of the span from the overview window: the file's records read again for it.
  exportTo = dir.filePath("span.pdf");
  QSignalSpy reported(&shown, &history::LogWindow::reportRead);
  ASSERT_TRUE(shown.exportReport());
  ASSERT_TRUE(reported.wait(30000));
  ASSERT_TRUE(reported.first().first().toBool()) << messages.texts.join('\n').toStdString();
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {exportTo, QStringLiteral("-")});
  ASSERT_TRUE(pdftotext.waitForFinished(60000));
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
  EXPECT_TRUE(text.contains("Start: 2026-12-07 23:30:00 End: 2026-12-08 00:45:00"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("pH2 pH 451 6.8500 7.0038 6.892389")) << text.toStdString();
  EXPECT_FALSE(tables[0].isEmpty());
  EXPECT_EQ(tables[1].toStdString(), tables[0].toStdString());
  QFile a(dir.filePath("held.csv")), b(dir.filePath("shown.csv"));
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), b.readAll());
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
}

TEST(LogWindowOverlay, DrawsTwoRunsAgainstTheTimeSinceEachOnesStart) {
  QTemporaryDir dir;
  const QString path = dir.filePath("night.csv");
  writeTwoRuns(path);
  RecordedMessages messages;
  history::LogWindow window(servicesWith(&messages));
  window.show();
  ASSERT_TRUE(openAndWait(window, path));
  ASSERT_TRUE(find<QPushButton>(window, "cmdOverlay")->isEnabled());
  QWidget *overlay = window.openOverlay();
  ASSERT_NE(overlay, nullptr);
  auto *chart = find<QCustomPlot>(*overlay, "chtOverlay");
  chart->replot();
  // Run 1: four hours from 22:00; run 2: one hour from 08:00; both from 0.
  ASSERT_GE(chart->graphCount(), 2);
  for (int g = 0; g < 2; ++g) {
    ASSERT_FALSE(chart->graph(g)->data()->isEmpty());
    EXPECT_DOUBLE_EQ(chart->graph(g)->data()->at(0)->key, 0.0);
  }
  EXPECT_DOUBLE_EQ(chart->graph(0)->data()->at(0)->value, 7.05); // pH1 with its correction
  EXPECT_NEAR((chart->graph(1)->data()->end() - 1)->key, 3590.0 / 3600, 1e-9);
  EXPECT_EQ(chart->graph(0)->name(), "night.csv run 1 pH1");
  EXPECT_EQ(chart->graph(1)->name(), "night.csv run 2 pH1");

  // A run of another file beside them; a file that is no log is said and adds nothing.
  auto *runOverlay = qobject_cast<history::RunOverlay *>(overlay);
  ASSERT_NE(runOverlay, nullptr);
  QFile other(dir.filePath("other.csv"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(BRELLIS_SOURCE_DIR "/tests/logging/data/two_runs.log"),
                          other.fileName()));
  QSignalSpy added(runOverlay, &history::RunOverlay::fileAdded);
  runOverlay->addFile(other.fileName());
  ASSERT_TRUE(added.wait(30000));
  EXPECT_TRUE(added.takeFirst().first().toBool());
  auto *runB = find<QComboBox>(*overlay, "cmbRunB");
  ASSERT_EQ(runB->count(), 4);
  EXPECT_EQ(runB->itemText(3), "other.csv run 2 (2026-12-09)");
  runB->setCurrentIndex(3);
  EXPECT_EQ(chart->graph(1)->name(), "other.csv run 2 pH1");
  EXPECT_DOUBLE_EQ(chart->graph(1)->data()->at(0)->value, 6.88); // 6.9 less its correction 0.02
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty())
    overlay->grab().save(folder + "/log-window-overlay.png");
  runOverlay->addFile(dir.filePath("missing.csv"));
  ASSERT_TRUE(added.wait(30000));
  EXPECT_FALSE(added.takeFirst().first().toBool());
  EXPECT_EQ(runB->count(), 4);
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains("missing.csv")) << messages.texts[0].toStdString();
  // Another file read closes it: it shows the log that goes.
  QPointer<QWidget> watched = overlay;
  ASSERT_TRUE(openAndWait(window, path));
  EXPECT_TRUE(watched.isNull());
}

} // namespace
