#include "tests/console/frm_main_fixture.h"

#include "widgets/knob.h"
#include "widgets/numeric_entry.h"
#include "widgets/slide_gauge.h"
#include "widgets/two_state_switch.h"

#include <qcustomplot.h>

#include <QAccessible>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using Fixture = FrmMainFixture;

const QStringList allDisplays = {"lblmV",        "lblmV1",       "lblpH",       "lblpH1",
                                 "lblpH1WOS",    "lblpH2WOS",    "lblHz",       "lblLitersPerMin",
                                 "liters",       "lblTherm1",    "lblTherm2",   "lblTherm3",
                                 "lblTherm1WOS", "lblTherm2WOS", "lblTherm3WOS"};
const QStringList allGauges = {"CWSlideFlow", "CWSlideTherm1", "CWSlideTherm2", "CWSlideTherm3"};

TEST_F(Fixture, StartsInTheDesignedState) {
  EXPECT_EQ(window->windowTitle(), "Brellis (DGH Controller) Ver. 2.4.1");
  EXPECT_TRUE(line.portOpen());
  EXPECT_TRUE(line.written().isEmpty());

  auto *tmrRd = find<QTimer>("tmrRd");
  EXPECT_TRUE(tmrRd->isActive());
  EXPECT_EQ(tmrRd->interval(), 1000);
  auto *tmrPlot = find<QTimer>("tmrPlot");
  EXPECT_FALSE(tmrPlot->isActive());
  EXPECT_EQ(tmrPlot->interval(), 1000);
  EXPECT_FALSE(find<QTimer>("tmrLogger")->isActive());
  for (const char *name : {"tmrRd", "tmrPlot", "tmrLogger"})
    EXPECT_EQ(find<QTimer>(name)->timerType(), Qt::PreciseTimer) << name;

  for (const char *name : {"cwbPh", "cwbFlow", "cwbTherm", "cwPlot"})
    EXPECT_FALSE(find<widgets::TwoStateSwitch>(name)->isChecked()) << name;
  EXPECT_EQ(find<widgets::TwoStateSwitch>("cwbPh")->text(), "Enable DGH");
  EXPECT_EQ(find<widgets::TwoStateSwitch>("cwbFlow")->text(), "Start");
  EXPECT_FALSE(state().phReadEnabled || state().flowReadEnabled || state().thermReadEnabled);
  EXPECT_TRUE(state().plotPh1 && state().plotPh2);
  EXPECT_TRUE(find<QCheckBox>("chkpH1")->isChecked() && find<QCheckBox>("chkpH2")->isChecked());
  EXPECT_EQ(state().ph1ThermSelect, 0);
  EXPECT_EQ(state().ph2ThermSelect, 0);
  EXPECT_TRUE(find<QRadioButton>("optTherm_0")->isChecked());
  EXPECT_TRUE(find<QRadioButton>("optTherm1_0")->isChecked());
  EXPECT_EQ(state().therm1Offset, 0);
  EXPECT_EQ(state().ph2Corr, 0);

  EXPECT_EQ(find<QLabel>("Panel4")->text(), "Not Logging");
  EXPECT_FALSE(find<QLabel>("Panel4Picture")->pixmap().isNull());
  EXPECT_FALSE(find<QLabel>("PicMain")->pixmap().isNull());

  auto *cmb = find<QComboBox>("cmbUpdate");
  EXPECT_EQ(cmb->currentText(), "1000");
  EXPECT_EQ(cmb->currentIndex(), -1);
  ASSERT_EQ(cmb->count(), 5);
  EXPECT_EQ(cmb->itemText(0), "1000");
  EXPECT_EQ(cmb->itemText(4), "100");

  EXPECT_EQ(find<widgets::Knob>("CWtherMax")->value(), 25);
  EXPECT_EQ(find<widgets::Knob>("CWtherMin")->value(), 5);
  EXPECT_EQ(find<widgets::Knob>("CWpHmax")->value(), 15);
  EXPECT_EQ(find<widgets::Knob>("CWpHmin")->value(), 0);
  for (int k = 1; k <= 3; ++k) {
    auto *slide = find<widgets::SlideGauge>(QStringLiteral("CWSlideTherm%1").arg(k));
    EXPECT_EQ(slide->axisMinimum(), 5);
    EXPECT_EQ(slide->axisMaximum(), 25);
  }
  auto *graph = find<QCustomPlot>("CWGraph1");
  EXPECT_EQ(graph->yAxis->range(), QCPRange(0, 15));
  EXPECT_EQ(graph->yAxis2->range(), QCPRange(0, 15));

  EXPECT_EQ(text("lblmV"), "0000.00");
  EXPECT_EQ(text("lblpH2WOS"), "000");
  EXPECT_EQ(text("liters"), "000");

  // The default coefficients when the store is empty.
  EXPECT_EQ(state().probe1Offset, 2.5777);
  EXPECT_EQ(state().probe2Slope, 4.5427);
  EXPECT_EQ(state().probe1Serial, "180312");
  EXPECT_EQ(state().probe2CalDate, QDate(2001, 1, 1));

  // Nothing is polled while every channel is off.
  window->readTick();
  EXPECT_TRUE(line.written().isEmpty());
}

TEST_F(Fixture, MenuBarHoldsItsItemsInOrder) {
  QStringList entries;
  for (QAction *action : window->menuBar()->actions()) {
    QString entry = action->objectName().isEmpty() && action->menu() ? action->menu()->objectName()
                                                                     : action->objectName();
    if (action->menu())
      for (QAction *item : action->menu()->actions())
        entry += QStringLiteral(" ") + item->objectName() + (item->isEnabled() ? "" : "(disabled)");
    entries << entry;
  }
  // The Parts' menus and items first, in their order; later items after them, and the alarms'
  // menu (a separator before its Mute) after "Comm Port".
  EXPECT_EQ(entries, QStringList({"mnuFile mnuOpenLog mnuExit", "mnuLog mnuLogSetup mnuStop(disabled) mnuAddNote(disabled)",
                                  "mnuCal mnuPhCal mnuCalHistory", "mnuComPort",
                                  "mnuAlarmsMenu mnuAlarmLimits mnuAlarmList mnuAlarmAckAll  mnuAlarmMute",
                                  "mnuHelp mnuUserGuide mnuAbout"}));
  // F1 opens the guide; About names what a user needs to know of this copy.
  EXPECT_EQ(find<QAction>("mnuUserGuide")->shortcut(), QKeySequence(Qt::Key_F1));
  find<QAction>("mnuAbout")->trigger();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "About Brellis");
  for (const QString &part : {QStringLiteral("Brellis 2.4.1\n"), QStringLiteral("GPL-3.0-or-later"),
                              QStringLiteral("/usr/share/doc/brellis/copyright"),
                              QStringLiteral("Qt ") + qVersion()})
    EXPECT_TRUE(messages.shown[0].text.contains(part)) << part.toStdString();
}

TEST_F(Fixture, SwitchingAChannelOffBlanksOnlyItsOwnDisplays) {
  struct Row {
    const char *switchName;
    bool AcquisitionState::*flag;
    QStringList blanked;
    QStringList zeroed;
  };
  const Row rows[] = {
      {"cwbPh", &AcquisitionState::phReadEnabled, {"lblmV", "lblpH"}, {}},
      {"cwbFlow",
       &AcquisitionState::flowReadEnabled,
       {"lblHz", "lblLitersPerMin", "liters"},
       {"CWSlideFlow"}},
      {"cwbTherm",
       &AcquisitionState::thermReadEnabled,
       {"lblTherm1", "lblTherm2", "lblTherm3"},
       {"CWSlideTherm1", "CWSlideTherm2", "CWSlideTherm3"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.switchName);
    for (const QString &label : allDisplays)
      find<QLabel>(label)->setText("12.5");
    for (const QString &gauge : allGauges)
      find<widgets::SlideGauge>(gauge)->setGaugeValue(3.5);
    state().flowHzSum = 700;
    state().ph1mV = 2577.7;

    auto *control = find<widgets::TwoStateSwitch>(row.switchName);
    control->setChecked(true);
    EXPECT_TRUE(state().*row.flag);
    for (const QString &label : allDisplays)
      EXPECT_EQ(text(label), "12.5") << label.toStdString();

    control->setChecked(false);
    EXPECT_FALSE(state().*row.flag);
    for (const QString &label : allDisplays)
      EXPECT_EQ(text(label), row.blanked.contains(label) ? "" : "12.5") << label.toStdString();
    for (const QString &gauge : allGauges) {
      auto *slide = find<widgets::SlideGauge>(gauge);
      EXPECT_EQ(slide->gaugeValue(), row.zeroed.contains(gauge) ? 0 : 3.5) << gauge.toStdString();
      // The markers follow the readings shown; the 0 of a channel switched off is none.
      EXPECT_EQ(slide->minMarker(), 3.5) << gauge.toStdString();
    }
    // Readings and the flow sum are untouched.
    EXPECT_EQ(state().flowHzSum, 700);
    EXPECT_EQ(state().ph1mV, 2577.7);
  }
}

TEST_F(Fixture, OneTickPollsFlowThenBothProbesThenTheThermistors) {
  for (const char *name : {"cwbTherm", "cwbPh", "cwbFlow"})
    find<widgets::TwoStateSwitch>(name)->setChecked(true);
  for (const char *reply : {"*+00115.00\r", "*+02577.70\r", "*+02577.70\r", "*+00025.00\r",
                            "*+00019.50\r", "*+00018.00\r"})
    line.answerNextCommand(reply, 12);

  window->readTick();

  EXPECT_EQ(line.written(),
            QList<QByteArray>({"$5RD\r", "$6RD\r", "$7RD\r", "$1RD\r", "$2RD\r", "$3RD\r"}));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(text("lblHz"), "115");
  EXPECT_EQ(text("lblLitersPerMin"), "1");
  EXPECT_EQ(text("liters"), "0.02");
  EXPECT_EQ(text("lblmV"), "2577.7");
  EXPECT_EQ(text("lblmV1"), "2577.7");
  EXPECT_EQ(text("lblTherm1"), "25");
  EXPECT_EQ(text("lblTherm3WOS"), "18");
  EXPECT_EQ(find<widgets::SlideGauge>("CWSlideTherm2")->gaugeValue(), 19.5);
  EXPECT_EQ(find<widgets::SlideGauge>("CWSlideFlow")->gaugeValue(), 1);
  // The pH of this tick was compensated at the previous tick's temperature (0 before any).
  EXPECT_EQ(state().compTemp, 0);
  EXPECT_EQ(state().therm1Temp, 25);
}

TEST_F(Fixture, AReaderFailureSwitchesItsChannelOffAndBlanksItsDisplays) {
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(true);
  find<widgets::TwoStateSwitch>("cwbPh")->setChecked(true);
  find<QLabel>("lblHz")->setText("115");
  find<QLabel>("lblmV")->setText("2577.7");
  find<QLabel>("lblpH1WOS")->setText("7.05");

  window->readTick(); // every module silent

  ASSERT_EQ(messages.shown.size(), 3u);
  EXPECT_EQ(messages.shown[0].text, "NO VALID RETURN FROM FLOW MODULE");
  EXPECT_EQ(messages.shown[1].text, "NO VALID RETURN FROM pH MODULE");
  EXPECT_EQ(messages.shown[2].text, "NO VALID RETURN FROM pH MODULE");
  // Module 7 was read although module 6 had already switched the channel off.
  EXPECT_EQ(line.written().size(), 3);
  EXPECT_FALSE(find<widgets::TwoStateSwitch>("cwbFlow")->isChecked());
  EXPECT_FALSE(find<widgets::TwoStateSwitch>("cwbPh")->isChecked());
  EXPECT_FALSE(state().flowReadEnabled || state().phReadEnabled);
  EXPECT_EQ(text("lblHz"), "");
  EXPECT_EQ(text("lblmV"), "");
  EXPECT_EQ(text("lblpH1WOS"), "7.05");

  window->readTick();
  EXPECT_EQ(line.written().size(), 3) << "nothing is polled once the channels are off";
}

TEST_F(Fixture, ATickFallingDueUnderAMessageBoxIsDropped) {
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(true);
  int nested = 0;
  messages.onShow = [&](const QString &, const QString &) {
    ++nested;
    window->readTick(); // what tmrRd would do while the box is open
  };
  window->readTick();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(line.written(), QList<QByteArray>({"$5RD\r"}));
}

TEST_F(Fixture, UpdateRateFollowsTheChosenPositionOnlyOnUpdate) {
  auto *tmrRd = find<QTimer>("tmrRd");
  auto *cmb = find<QComboBox>("cmbUpdate");
  auto *update = find<QPushButton>("CWupdateRate");

  update->click(); // before any choice: unchanged, running
  EXPECT_EQ(tmrRd->interval(), 1000);
  EXPECT_TRUE(tmrRd->isActive());

  cmb->setCurrentIndex(2); // "250" chosen from the list
  EXPECT_EQ(tmrRd->interval(), 1000);
  update->click();
  EXPECT_EQ(tmrRd->interval(), 250);

  const int positions[] = {0, 1, 3, 4};
  const int rates[] = {1000, 500, 200, 100};
  for (int i = 0; i < 4; ++i) {
    cmb->setCurrentIndex(positions[i]);
    update->click();
    EXPECT_EQ(tmrRd->interval(), rates[i]);
  }

  // Typed text leaves no entry chosen and is never read as a rate.
  cmb->lineEdit()->selectAll();
  QTest::keyClicks(cmb->lineEdit(), "500");
  EXPECT_EQ(cmb->currentIndex(), -1);
  EXPECT_EQ(cmb->currentText(), "500");
  EXPECT_EQ(tmrRd->interval(), 100);
  EXPECT_TRUE(tmrRd->isActive());
  update->click();
  EXPECT_EQ(tmrRd->interval(), 100);
}

// However the typing ends (Enter, the focus moving to "Update" under a real click, accepting the
// inline completion), the typed text chooses no entry, so "Update" keeps the period.
TEST_F(Fixture, TypingInTheUpdateRateBoxNeverChoosesAnEntry) {
  auto *tmrRd = find<QTimer>("tmrRd");
  auto *cmb = find<QComboBox>("cmbUpdate");
  auto *update = find<QPushButton>("CWupdateRate");
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

  struct Ending {
    const char *how;
    const char *typed;
    std::function<void()> end;
    const char *text; // the field's text after the ending
  };
  const Ending endings[] = {
      {"Enter", "500", [&] { QTest::keyClick(cmb, Qt::Key_Return); }, "500"},
      {"focus moved to Update by a click", "250",
       [&] {
         QTest::mouseClick(update, Qt::LeftButton);
         EXPECT_TRUE(update->hasFocus());
       },
       "250"},
      {"completion", "2", [&] { QTest::keyClick(cmb, Qt::Key_Return); }, "250"},
  };
  for (const Ending &ending : endings) {
    SCOPED_TRACE(ending.how);
    cmb->setCurrentIndex(4); // "100" chosen from the list and applied
    update->click();
    ASSERT_EQ(tmrRd->interval(), 100);

    cmb->setFocus();
    ASSERT_TRUE(cmb->hasFocus());
    cmb->lineEdit()->selectAll();
    QTest::keyClicks(cmb, ending.typed);
    EXPECT_EQ(cmb->currentIndex(), -1);
    ending.end();
    EXPECT_EQ(cmb->currentText(), ending.text);
    EXPECT_EQ(cmb->currentIndex(), -1);
    update->click();
    EXPECT_EQ(tmrRd->interval(), 100);
    EXPECT_TRUE(tmrRd->isActive());
  }

  // Typing into a chosen entry's text edits it where the cursor stands.
  cmb->setCurrentIndex(2); // "250"
  cmb->setFocus();
  cmb->lineEdit()->setCursorPosition(1);
  QTest::keyClicks(cmb, "01");
  EXPECT_EQ(cmb->currentText(), "20150");
  EXPECT_EQ(cmb->lineEdit()->cursorPosition(), 3);
  EXPECT_EQ(cmb->currentIndex(), -1);
}

TEST_F(Fixture, ThermistorResetRestartsTheMinMaxMarkers) {
  auto *slide = find<widgets::SlideGauge>("CWSlideTherm2");
  for (double v : {10.0, 20.0, 15.0})
    find<widgets::SlideGauge>("CWSlideTherm2")->setGaugeValue(v);
  EXPECT_EQ(slide->minMarker(), 10);
  EXPECT_EQ(slide->maxMarker(), 20);

  find<QPushButton>("cwbReset")->click();
  EXPECT_FALSE(slide->hasMinMax());
  EXPECT_EQ(slide->gaugeValue(), 15) << "the value itself is untouched";
  find<widgets::SlideGauge>("CWSlideTherm2")->setGaugeValue(12);
  EXPECT_EQ(slide->minMarker(), 12);
  EXPECT_EQ(slide->maxMarker(), 12);
}

TEST_F(Fixture, FlowResetKeepsTheShownTotalUntilTheNextRead) {
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(true);
  for (int i = 0; i < 3; ++i) {
    line.answerNextCommand("*+00115.00\r");
    window->readTick();
  }
  EXPECT_EQ(state().flowHzSum, 345);
  EXPECT_EQ(text("liters"), "0.05");

  find<QPushButton>("CWButton3")->click();
  EXPECT_EQ(state().flowHzSum, 0);
  EXPECT_EQ(state().totalLiters, 0.05);
  EXPECT_EQ(text("liters"), "0.05");

  line.answerNextCommand("*+00115.00\r");
  window->readTick();
  EXPECT_EQ(text("liters"), "0.02");

  // Switching the channel off and on again does not reset the sum.
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(false);
  find<widgets::TwoStateSwitch>("cwbFlow")->setChecked(true);
  EXPECT_EQ(state().flowHzSum, 115);
}

TEST_F(Fixture, EntriesAndChoicesWriteTheirFields) {
  struct Row {
    const char *entry;
    double AcquisitionState::*field;
  };
  const Row rows[] = {{"CWNumEdit1", &AcquisitionState::therm1Offset},
                      {"CWNumEdit2", &AcquisitionState::therm2Offset},
                      {"CWNumEdit3", &AcquisitionState::therm3Offset},
                      {"pHOffS1", &AcquisitionState::ph1Corr},
                      {"pHOffS2", &AcquisitionState::ph2Corr}};
  for (const Row &row : rows) {
    find<widgets::NumericEntry>(row.entry)->setValue(-0.5);
    EXPECT_EQ(state().*row.field, -0.5) << row.entry;
  }

  // Check boxes and option buttons take one path however they change: the operator's click, the
  // program's set and the accessibility action a screen reader or test robot uses. Greyed is
  // False.
  const auto viaAccessibility = [](QWidget *control) {
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(iface, nullptr);
    ASSERT_NE(iface->actionInterface(), nullptr);
    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  };
  auto *chkpH1 = find<QCheckBox>("chkpH1");
  chkpH1->click();
  EXPECT_FALSE(state().plotPh1);
  EXPECT_TRUE(state().plotPh2);
  chkpH1->click();
  EXPECT_TRUE(state().plotPh1);
  chkpH1->setCheckState(Qt::PartiallyChecked);
  EXPECT_FALSE(state().plotPh1);
  chkpH1->setCheckState(Qt::Checked);
  EXPECT_TRUE(state().plotPh1);
  viaAccessibility(chkpH1);
  EXPECT_FALSE(state().plotPh1);
  find<QCheckBox>("chkpH2")->setChecked(false);
  EXPECT_FALSE(state().plotPh2);

  find<QRadioButton>("optTherm_2")->click();
  EXPECT_EQ(state().ph1ThermSelect, 3);
  EXPECT_EQ(state().ph2ThermSelect, 0);
  find<QRadioButton>("optTherm1_1")->setChecked(true);
  EXPECT_EQ(state().ph2ThermSelect, 2);
  viaAccessibility(find<QRadioButton>("optTherm_0"));
  EXPECT_EQ(state().ph1ThermSelect, 1);
  find<QRadioButton>("optTherm_0")->click(); // the one already chosen: the same result
  EXPECT_EQ(state().ph1ThermSelect, 1);
  EXPECT_EQ(state().ph2ThermSelect, 2);
}

TEST_F(Fixture, ANewThermistorOffsetShowsAtTheNextRead) {
  find<widgets::TwoStateSwitch>("cwbTherm")->setChecked(true);
  for (const char *reply : {"*+00020.00\r", "*+00020.00\r", "*+00020.00\r"})
    line.answerNextCommand(reply);
  window->readTick();
  find<widgets::NumericEntry>("CWNumEdit1")->setValue(1.5);
  EXPECT_EQ(text("lblTherm1WOS"), "20");
  for (const char *reply : {"*+00020.00\r", "*+00020.00\r", "*+00020.00\r"})
    line.answerNextCommand(reply);
  window->readTick();
  EXPECT_EQ(text("lblTherm1WOS"), "21.5");
  EXPECT_EQ(state().therm1Temp, 20) << "the stored temperature carries no offset";
}

TEST_F(Fixture, KnobsSetTheGaugeAndGraphScales) {
  find<widgets::Knob>("CWtherMax")->setValue(28);
  find<widgets::Knob>("CWtherMin")->setValue(2);
  for (int k = 1; k <= 3; ++k) {
    auto *slide = find<widgets::SlideGauge>(QStringLiteral("CWSlideTherm%1").arg(k));
    EXPECT_EQ(slide->axisMinimum(), 2);
    EXPECT_EQ(slide->axisMaximum(), 28);
  }

  auto *graph = find<QCustomPlot>("CWGraph1");
  find<widgets::Knob>("CWpHmin")->setValue(4);
  EXPECT_EQ(graph->yAxis->range(), QCPRange(4, 15));
  EXPECT_EQ(graph->yAxis2->range(), QCPRange(4, 15));
  find<widgets::Knob>("CWpHmax")->setValue(10);
  EXPECT_EQ(graph->yAxis->range(), QCPRange(4, 10));

  // "Reset Scale" restores both pH axes after a pan or zoom.
  graph->yAxis->setRange(6.5, 7.5);
  graph->yAxis2->setRange(1, 2);
  find<QPushButton>("Command1")->click();
  EXPECT_EQ(graph->yAxis->range(), QCPRange(4, 10));
  EXPECT_EQ(graph->yAxis2->range(), QCPRange(4, 10));
}

// Each probe's displays are in its trace's colour, and no knob is smaller than the pH knobs.
TEST_F(Fixture, DisplaysShareTheTraceColoursAndKnobsReadAlike) {
  auto *graph = find<QCustomPlot>("CWGraph1");
  const QColor green = graph->graph(0)->pen().color();
  const QColor red = graph->graph(1)->pen().color();
  EXPECT_EQ(green, QColor(0x00, 0xff, 0x00));
  EXPECT_EQ(red, QColor(0xff, 0x00, 0x00));
  for (const QString &label : allDisplays) {
    const bool probe2 = label == "lblmV1" || label == "lblpH1" || label == "lblpH2WOS";
    EXPECT_EQ(find<QLabel>(label)->palette().color(QPalette::WindowText), probe2 ? red : green)
        << label.toStdString();
  }

  window->show();
  const QSize phKnob = find<widgets::Knob>("CWpHmax")->size();
  for (const char *knob : {"CWpHmin", "CWtherMax", "CWtherMin"}) {
    EXPECT_GE(find<widgets::Knob>(knob)->width(), phKnob.width()) << knob;
    EXPECT_GE(find<widgets::Knob>(knob)->height(), phKnob.height()) << knob;
  }
}

TEST_F(Fixture, ExitReleasesThePort) {
  find<QAction>("mnuExit")->trigger();
  EXPECT_FALSE(line.portOpen());
  EXPECT_FALSE(find<QTimer>("tmrRd")->isActive());
}

} // namespace
