// The main window with its parts wired in: logging, calibration, the trend plot, and the
// simulated modules on the real clock.
#include "tests/console/frm_main_fixture.h"
#include "tests/support/qt_printers.h"

#include "calibration/frm_cal.h"
#include "logging/frmloggingph.h"
#include "plot/trend_graph.h"
#include "tests/support/simulated_window.h"
#include "widgets/position_selector.h"
#include "widgets/two_state_switch.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>

#include <cmath>

namespace {

using Window = FrmMainFixture;

// What a running timer would do at its next period, without waiting for it.
void fire(QTimer *timer) {
  ASSERT_TRUE(timer->isActive());
  QTimerEvent event(timer->timerId());
  QCoreApplication::sendEvent(timer, &event);
}

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST_F(Window, LoggingRunsFromSetupToStopAndLogsTheTotalAsShown) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.csv");
  auto *setup = find<QAction>("mnuLogSetup");
  auto *stop = find<QAction>("mnuStop");

  setup->trigger();
  auto *dialog = find<logging::frmloggingph>("frmloggingph");
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(setup->isEnabled());
  EXPECT_TRUE(stop->isEnabled());

  dialog->setFileChooser([path](QWidget *, const QString &) { return path; });
  find<QRadioButton>("optDatafile_1")->click();
  find<QRadioButton>("optAppend_1")->click();
  find<QPushButton>("cmdSelect")->click();
  find<QComboBox>("cmbInterval")->setCurrentIndex(10);
  find<QPushButton>("cmdExit")->click();

  auto *tmrLogger = find<QTimer>("tmrLogger");
  EXPECT_TRUE(tmrLogger->isActive());
  EXPECT_EQ(tmrLogger->interval(), 100);
  EXPECT_EQ(find<QLabel>("Panel1")->text(), path);
  EXPECT_EQ(find<QLabel>("Panel4")->text(), "Logging");
  EXPECT_FALSE(setup->isEnabled());
  EXPECT_FALSE(dialog->isVisible());

  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(true);
  line.answerNextCommand("*+00115.00\r");
  window->readTick();
  fire(tmrLogger);
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(false);
  fire(tmrLogger);

  stop->trigger();
  EXPECT_FALSE(tmrLogger->isActive());
  EXPECT_EQ(find<QLabel>("Panel4")->text(), "Not Logging");
  EXPECT_TRUE(setup->isEnabled());
  EXPECT_FALSE(stop->isEnabled());

  const QList<QByteArray> lines = contents(path).split('\n');
  ASSERT_EQ(lines.size(), 19) << contents(path).toStdString(); // 16 + 2 records + the end
  EXPECT_TRUE(lines[16].endsWith(",0,0,0,0,0,0,0,115,1,\"0.02\",0,0,0,0,0\r"))
      << lines[16].toStdString();
  EXPECT_TRUE(lines[17].endsWith(",0,0,0,0,0,0,0,115,1,\"\",0,0,0,0,0\r"))
      << lines[17].toStdString();
}

TEST_F(Window, ExitWhileLoggingKeepsEveryRecordWritten) {
  QTemporaryDir dir;
  const QString path = dir.filePath("exit.csv");
  find<QAction>("mnuLogSetup")->trigger();
  auto *dialog = find<logging::frmloggingph>("frmloggingph");
  dialog->setFileChooser([path](QWidget *, const QString &) { return path; });
  find<QRadioButton>("optDatafile_1")->click();
  find<QRadioButton>("optAppend_0")->click();
  find<QPushButton>("cmdSelect")->click();
  find<QComboBox>("cmbInterval")->setCurrentIndex(6);
  find<QPushButton>("cmdExit")->click();
  for (int i = 0; i < 3; ++i)
    fire(find<QTimer>("tmrLogger"));

  find<QAction>("mnuExit")->trigger();
  window.reset();
  EXPECT_EQ(contents(path).count("\r\n"), 16 + 3);
  EXPECT_TRUE(contents(path).endsWith("0,0,0,0,0\r\n"));
}

TEST_F(Window, CalibrationItemOpensOneDialogAndRaisesItAfterwards) {
  auto *item = find<QAction>("mnuPhCal");
  item->trigger();
  auto *dialog = find<frmCal>("frmCal");
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isModal());
  item->trigger();
  EXPECT_EQ(window->findChildren<frmCal *>().size(), 1);
}

TEST_F(Window, PlotSwitchModeSelectorAndCursorReadOut) {
  auto *tmrPlot = find<QTimer>("tmrPlot");
  auto *graph = find<plot::TrendGraph>("CWGraph1");
  state().ph1Value = 7;
  state().ph1Corr = 0.25;

  find<widgets::TwoStateSwitch>("cwPlot")->setChecked(true);
  EXPECT_TRUE(tmrPlot->isActive());
  EXPECT_FALSE(find<QCheckBox>("chkpH1")->isEnabled());
  EXPECT_FALSE(find<QCheckBox>("chkpH2")->isEnabled());
  fire(tmrPlot);
  ASSERT_EQ(graph->trace(1)->data()->size(), 1);
  EXPECT_EQ(graph->trace(1)->data()->at(0)->value, 7.25);
  EXPECT_EQ(graph->trace(2)->data()->size(), 1);

  find<widgets::TwoStateSwitch>("cwPlot")->setChecked(false);
  EXPECT_FALSE(tmrPlot->isActive());
  EXPECT_TRUE(find<QCheckBox>("chkpH1")->isEnabled());
  EXPECT_EQ(graph->trace(1)->data()->size(), 1) << "pausing keeps the points";

  find<widgets::PositionSelector>("GraphMode")->setValue(2);
  EXPECT_TRUE(graph->isCursorVisible(1));
  EXPECT_FALSE(graph->isCursorVisible(2));

  const QDateTime at(QDate(2026, 12, 8), QTime(14, 5, 9));
  graph->placeCursor(1, plot::TrendGraph::keyOf(at), 7.25); // as a drag leaves it
  emit graph->cursorMoved(1, plot::TrendGraph::keyOf(at), 7.25);
  EXPECT_EQ(find<QLabel>("Panel2")->text(), "X:  14:05:09");
  EXPECT_EQ(find<QLabel>("Panel3")->text(), "Y:  7.25");
  emit graph->cursorMoved(2, plot::TrendGraph::keyOf(at), 3);
  EXPECT_EQ(find<QLabel>("Panel3")->text(), "Y:  7.25") << "cursor 2 writes nothing";
}

// The window against the simulated modules with the real clock: every channel on, readings
// arrive on the displays. With BRELLIS_SCREENSHOT set, the window is also saved to that file.
TEST(SimulatedModules, EveryChannelShowsPlausibleReadings) {
  tiltdgh::SteadyClock clock;
  testsupport::SimulatedWindow rig(clock, 7);
  frmMain &window = rig.window;
  testsupport::RecordingMessages &messages = rig.messages;
  ASSERT_TRUE(window.load());
  window.show();
  for (const char *name : {"cwbPh", "cwbFlow", "cwbTherm", "cwPlot"})
    window.findChild<widgets::TwoStateSwitch *>(name)->setChecked(true);
  for (int tick = 0; tick < 3; ++tick) {
    window.readTick();
    fire(window.findChild<QTimer *>("tmrPlot"));
  }

  EXPECT_TRUE(messages.shown.empty());
  const AcquisitionState &s = window.state();
  EXPECT_NEAR(s.ph1mV, 2577.7, 30);
  EXPECT_NEAR(s.ph2mV, 2577.7, 30);
  EXPECT_NEAR(s.ph1Value, 7, 1);
  EXPECT_NEAR(s.therm2Temp, 21, 6);
  EXPECT_NEAR(s.flowHz, 115, 15);
  for (const char *label : {"lblmV", "lblpH", "lblpH2WOS", "lblHz", "liters", "lblTherm3"}) {
    const QString text = window.findChild<QLabel *>(label)->text();
    bool number = false;
    const double value = QLocale().toDouble(text, &number);
    EXPECT_TRUE(number && std::isfinite(value)) << label << " shows " << text.toStdString();
  }
  const QString shot = qEnvironmentVariable("BRELLIS_SCREENSHOT");
  if (!shot.isEmpty()) {
    QCoreApplication::processEvents(); // the graph's queued replot
    window.grab().save(shot);
  }
}

} // namespace

namespace {

// The window with its run kept: the events journal in a folder of the test's own.
class KeptRun : public FrmMainFixture {
protected:
  void SetUp() override {
    line.setOpen(false);
    FrmMainServices s = services();
    console::RunOptions run;
    run.eventsPath = dir.filePath("events.csv");
    run.user = "anna";
    s.run = run;
    window = std::make_unique<frmMain>(line, clock, std::move(s));
    ASSERT_TRUE(window->load());
  }
  QTemporaryDir dir;
};

TEST_F(KeptRun, AddNoteGoesBesideTheLogWhileLoggingAndToTheStandingJournalAlways) {
  const QString log = dir.filePath("run.csv");
  auto *note = find<QAction>("mnuAddNote");
  EXPECT_EQ(note->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  find<QAction>("mnuLogSetup")->trigger();
  auto *dialog = find<logging::frmloggingph>("frmloggingph");
  dialog->setFileChooser([log](QWidget *, const QString &) { return log; });
  find<QRadioButton>("optDatafile_1")->click();
  find<QRadioButton>("optAppend_1")->click();
  find<QPushButton>("cmdSelect")->click();
  find<QComboBox>("cmbInterval")->setCurrentIndex(10);
  find<QPushButton>("cmdExit")->click();
  ASSERT_EQ(find<QLabel>("Panel4")->text(), "Logging");

  answers.push_back(QStringLiteral("buffer added, \"pH 7\""));
  answers.push_back(std::nullopt);
  answers.push_back(QStringLiteral("  "));
  for (int k = 0; k < 3; ++k) // a note, a Cancel and a blank line: one note written
    note->trigger();
  EXPECT_EQ(asked.first(), "Add Note: Note:");
  find<QAction>("mnuStop")->trigger();
  answers.push_back(QStringLiteral("rinsed"));
  note->trigger();

  const QByteArray beside = contents(log + ".events.csv");
  const QByteArray standing = contents(dir.filePath("events.csv"));
  const QByteArray written = ",note,\"buffer added, \"\"pH 7\"\"\",anna\n";
  EXPECT_EQ(beside.count(",note,"), 1) << beside.toStdString();
  EXPECT_TRUE(beside.contains(written)) << beside.toStdString();
  EXPECT_TRUE(standing.contains(written)) << standing.toStdString();
  EXPECT_TRUE(standing.contains(",note,rinsed,anna\n")) << standing.toStdString();
}

} // namespace
