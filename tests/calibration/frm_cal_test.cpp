#include "acquisition/session.h"
#include "calibration/calibration_opener.h"
#include "calibration/probe_care.h"
#include "common/number_text.h"
#include "temp_store.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

namespace {

class CalibrationDialog : public TempStore {
protected:
  void TearDown() override {
    delete m_opener.dialog();
    TempStore::TearDown();
  }

  frmCal *open() { return m_opener.open(); }

  template <typename T> T *control(const char *name) const {
    T *widget = m_opener.dialog()->findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit *box(const char *name) const { return control<QLineEdit>(name); }

  // Replaces a box's text the way the operator does: select all, delete, type.
  void retype(const char *name, const QString &text) const {
    QLineEdit *edit = box(name);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
  void selectProbe(int probe) const {
    QTest::mouseClick(control<QRadioButton>(probe == 1 ? "Option1_0" : "Option1_1"),
                      Qt::LeftButton);
  }
  void save() const { QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton); }

  void closeDialog() {
    m_opener.dialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(m_opener.dialog(), nullptr) << "a closed dialog must be removed";
  }

  AcquisitionState m_state;
  testsupport::RecordingMessages m_messages;
  calibration::CalibrationOpener m_opener{m_state, m_messages};
};

TEST_F(CalibrationDialog, OpensOnProbeOneWithTheStoredTextsNeverTheLayoutTexts) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  m_state.probe1Offset = m_state.probe2Offset = 9;
  m_state.probe2Serial = "untouched";
  frmCal *dialog = open();

  EXPECT_EQ(dialog->objectName(), "frmCal");
  EXPECT_EQ(dialog->windowTitle(), "pH Calibration");
  EXPECT_FALSE(dialog->isModal());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->findChild<QGroupBox *>()->title(), "Coefficients");
  EXPECT_TRUE(control<QRadioButton>("Option1_0")->isChecked());
  EXPECT_FALSE(control<QRadioButton>("Option1_1")->isChecked());
  EXPECT_EQ(dialog->selectedProbe(), 1);
  EXPECT_EQ(box("txtOffset")->text(), "2.5777");
  EXPECT_EQ(box("txtSlope")->text(), "4.5427");
  EXPECT_EQ(box("txtSerialNum")->text(), "180312");
  EXPECT_EQ(box("txtCalTemp")->text(), "14.000");
  EXPECT_EQ(control<QDateEdit>("DTPicker1")->date(), QDate(2001, 1, 1));
  EXPECT_EQ(control<QDateEdit>("DTPicker1")->text(), "1/1/2001");
  QStringList captions;
  for (const QLabel *label : dialog->findChildren<QLabel *>())
    captions << label->text();
  EXPECT_EQ(captions, (QStringList{"Offset:", "Slope:", "S/N.:", "Temp.:", "Date:"}));
  EXPECT_EQ(control<QPushButton>("Command1")->text(), "Save");
  EXPECT_EQ(control<QAbstractButton>("CWcal_enable")->text(), "Disable");

  EXPECT_EQ(m_state.probe1Offset, 2.5777);
  EXPECT_EQ(m_state.probe1Slope, 4.5427);
  EXPECT_EQ(m_state.probe1Serial, "180312");
  EXPECT_EQ(m_state.probe1CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(m_state.probe2Offset, 9) << "probe 2 loads only when it is selected";
  EXPECT_EQ(m_state.probe2Serial, "untouched");
  EXPECT_TRUE(QDir(m_dir->path()).isEmpty()) << "opening wrote to the store";
}

TEST_F(CalibrationDialog, EveryKeystrokeThatReadsSetsTheLiveOffsetAndSaveKeepsTheLastOne) {
  const QLocale locales[] = {QLocale(QLocale::English, QLocale::UnitedStates),
                             QLocale(QLocale::German, QLocale::Germany)};
  for (const QLocale &locale : locales) {
    QLocale::setDefault(locale);
    freshStore();
    open();
    SCOPED_TRACE(locale.name().toStdString());
    QLineEdit *offset = box("txtOffset");
    QTest::keyClick(offset, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(offset, Qt::Key_Delete);
    EXPECT_EQ(m_state.probe1Offset, 2.5777) << "an empty box keeps the live value";
    const struct {
      QChar key;
      double live;
    } steps[] = {{'2', 2}, {locale.decimalPoint().at(0), 2}, {'6', 2.6}, {'x', 2.6}};
    for (const auto &step : steps) {
      QTest::keyClicks(offset, QString(step.key));
      EXPECT_EQ(m_state.probe1Offset, step.live) << offset->text().toStdString();
    }
    QTest::keyClick(offset, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(offset, Qt::Key_Delete);
    EXPECT_EQ(m_state.probe1Offset, 2.6);

    retype("txtSlope", "-");
    EXPECT_EQ(m_state.probe1Slope, 4.5427) << "a lone sign does not read";
    retype("txtSerialNum", " 0A 7 ");
    // Save stores what the boxes show, never an earlier value: the empty box saves nothing.
    save();
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, "Probe 1 Offset: \"\" is not a number; nothing was saved.");
    EXPECT_TRUE(QDir(m_dir->path()).isEmpty()) << "a refused Save wrote to the store";
    EXPECT_EQ(m_state.probe1Offset, 2.6) << "the live value stays";
    m_messages.shown.clear();
    retype("txtOffset", common::generalNumber(2.6));
    retype("txtSlope", common::generalNumber(4.5427));
    save();
    EXPECT_EQ(stored("offset"), common::generalNumber(2.6));
    EXPECT_EQ(stored("slope"), common::generalNumber(4.5427));
    EXPECT_EQ(stored("serial number"), " 0A 7 ");
    EXPECT_TRUE(m_messages.shown.empty());
    closeDialog();
  }
}

TEST_F(CalibrationDialog, ClosingKeepsTheEditsAndReopeningReloadsOnlyProbeOne) {
  open();
  retype("txtSlope", "5");
  selectProbe(2);
  EXPECT_EQ(m_state.probe1Slope, 5) << "selecting probe 2 leaves probe 1's live values";
  retype("txtSlope", "5");
  retype("txtOffset", "3.25");
  selectProbe(1);
  retype("txtSlope", "6");
  closeDialog();
  EXPECT_EQ(m_state.probe1Slope, 6);
  EXPECT_EQ(m_state.probe2Slope, 5);
  EXPECT_EQ(m_state.probe2Offset, 3.25);

  open();
  EXPECT_EQ(m_state.probe1Slope, 4.5427) << "opening reloads probe 1";
  EXPECT_EQ(m_state.probe2Offset, 3.25) << "probe 2 keeps its edits until it is selected";
  selectProbe(2);
  EXPECT_EQ(m_state.probe2Offset, 2.5777);
  EXPECT_EQ(m_state.probe2Slope, 4.5427);
  EXPECT_EQ(box("txtOffset")->text(), "2.5777");
}

TEST_F(CalibrationDialog, SelectingAProbeReloadsItButClickingTheSelectedOneKeepsEdits) {
  m_state.probe1Serial = "stale";
  store("serial number", "S-1");
  store("offset2", "1.5");
  open();
  EXPECT_EQ(m_state.probe1Serial, "S-1");
  retype("txtOffset", "2.9");
  retype("txtSerialNum", "edited");
  control<QDateEdit>("DTPicker1")->setDate(QDate(2024, 6, 30));
  EXPECT_EQ(m_state.probe1CalDate, QDate(2024, 6, 30));

  selectProbe(1);
  EXPECT_EQ(m_state.probe1Offset, 2.9);
  EXPECT_EQ(box("txtSerialNum")->text(), "edited");

  selectProbe(2);
  EXPECT_EQ(m_opener.dialog()->selectedProbe(), 2);
  EXPECT_EQ(box("txtOffset")->text(), "1.5");
  EXPECT_EQ(m_state.probe2Offset, 1.5);
  EXPECT_EQ(m_state.probe1Offset, 2.9) << "selecting probe 2 leaves probe 1's live values";

  selectProbe(1);
  EXPECT_EQ(m_state.probe1Offset, 2.5777);
  EXPECT_EQ(m_state.probe1Serial, "S-1");
  EXPECT_EQ(m_state.probe1CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(box("txtOffset")->text(), "2.5777");
  EXPECT_EQ(box("txtSerialNum")->text(), "S-1");
  EXPECT_EQ(control<QDateEdit>("DTPicker1")->date(), QDate(2001, 1, 1));
}

TEST_F(CalibrationDialog, ASecondOpenOnlyRaisesTheOpenDialogAndEscapeClosesIt) {
  frmCal *first = open();
  selectProbe(2);
  retype("txtOffset", "7");
  EXPECT_EQ(open(), first);
  EXPECT_EQ(first->selectedProbe(), 2);
  EXPECT_EQ(box("txtOffset")->text(), "7");
  EXPECT_EQ(m_state.probe2Offset, 7);

  QTest::keyClick(first, Qt::Key_Escape);
  frmCal *second = open();
  EXPECT_EQ(second->selectedProbe(), 1);
  EXPECT_EQ(m_state.probe2Offset, 7);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(m_opener.dialog(), second);
}

TEST_F(CalibrationDialog, SaveWritesOnlyTheSelectedProbesKeysFromTheLiveValues) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  open();
  selectProbe(2);
  retype("txtOffset", "2.61");
  retype("txtOffset", "2.61abc");
  retype("txtSerialNum", "");
  control<QDateEdit>("DTPicker1")->setDate(QDate(2025, 11, 9));
  save();
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].text,
            "Probe 2 Offset: \"2.61abc\" is not a number; nothing was saved.");
  EXPECT_TRUE(QDir(m_dir->path()).isEmpty()) << "a refused Save wrote to the store";
  m_messages.shown.clear();
  retype("txtOffset", "2.61");
  save();
  EXPECT_EQ(keysOnDisk(), (QSet<QString>{"offset2", "slope2", "serial number2", "date2"}));
  EXPECT_EQ(stored("offset2"), "2.61");
  EXPECT_EQ(stored("slope2"), "4.5427");
  EXPECT_EQ(stored("serial number2"), "");
  EXPECT_EQ(stored("date2"), "11/9/2025");
  EXPECT_TRUE(m_opener.dialog()->isVisible()) << "the dialog stays open after a save";
  EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(CalibrationDialog, ASaveThatCannotBeWrittenIsReported) {
  ASSERT_TRUE(QDir().mkpath(filePath()));
  open();
  retype("txtOffset", "2.6");
  save();
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].text, "The calibration values of probe 1 were not saved: the "
                                      "settings file " +
                                          filePath() + " cannot be written.");
  EXPECT_EQ(m_messages.shown[0].title, "");
  EXPECT_EQ(m_state.probe1Offset, 2.6);
}

TEST_F(CalibrationDialog, UnsavedEditsReachTheNextPhReadingUntilTheDialogIsOpenedAgain) {
  testsupport::FakeClock clock{1000};
  testsupport::ScriptedLine line{clock};
  tiltdgh::DghLink link{line, clock, m_messages};
  acquisition::Session session(link, m_state);
  m_state.ph1ThermSelect = 1;
  m_state.therm1Temp = 25;
  const auto readProbe1 = [&] {
    line.answerNextCommand("*+02677.70\r");
    session.readPhModule(QStringLiteral("6"));
    return m_state.ph1Value;
  };

  open();
  EXPECT_EQ(readProbe1(), 7.3721);
  retype("txtSlope", "9.0854");
  EXPECT_EQ(readProbe1(), 7.1861);
  closeDialog();
  EXPECT_EQ(readProbe1(), 7.1861) << "closing keeps the unsaved slope";
  open();
  EXPECT_EQ(readProbe1(), 7.3721) << "opening reloads the stored slope";
  EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(CalibrationDialog, AnIntervalOrLimitThatIsNoNumberOrOutOfOrderIsRefusedNamingItsField) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  open();
  auto *limits = control<QTableWidget>("tblCareLimits");
  // Rows: slope against the default, against the previous, offset change; columns warn, refuse.
  const auto cell = [&](int row, int column) { return limits->item(row, column); };
  struct Case {
    int row; // -1: the interval's box
    int column;
    const char *typed;
    const char *message;
    const char *kept;
  };
  const Case refused[] = {
      {-1, 0, "ten",
       "\"Due every (days)\": \"ten\" is not a whole number of days, 0 or more. The interval "
       "stays 7.",
       "7"},
      {0, 0, "5 %",
       "\"Slope against the default, warn (percentage points)\": \"5 %\" is not a number, 0 or "
       "more. The limit stays 5.",
       "5"},
      {2, 1, "-1",
       "\"Offset change, refuse (mV)\": \"-1\" is not a number, 0 or more. The limit stays 120.",
       "120"},
      {1, 0, "25",
       "\"Slope against the previous, warn (percentage points)\": 25 is above the refusal limit, "
       "20: a result is warned of before it is refused. The limit stays 5.",
       "5"},
      {2, 1, "14.5",
       "\"Offset change, refuse (mV)\": 14.5 is below the warning limit, 15: a result is warned "
       "of before it is refused. The limit stays 120.",
       "120"},
  };
  for (const Case &c : refused) {
    m_messages.shown.clear();
    if (c.row < 0) {
      retype("txtDueDays", c.typed);
      QTest::keyClick(box("txtDueDays"), Qt::Key_Return);
    } else {
      cell(c.row, c.column)->setText(c.typed);
    }
    ASSERT_EQ(m_messages.shown.size(), 1u) << c.typed;
    EXPECT_EQ(m_messages.shown[0].text, c.message);
    EXPECT_EQ(c.row < 0 ? box("txtDueDays")->text() : cell(c.row, c.column)->text(), c.kept);
  }
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                     calibration::settingsApplication());
  EXPECT_FALSE(settings.childGroups().contains(calibration::careGroup()));

  // A limit that reads judges the live values at once, and is kept for its probe alone.
  retype("txtOffset", "2.5787"); // 1 mV from the stored offset
  EXPECT_FALSE(box("txtCondition")->text().contains("limit"));
  m_messages.shown.clear();
  cell(2, 0)->setText("0.5");
  EXPECT_TRUE(m_messages.shown.empty());
  EXPECT_TRUE(box("txtCondition")
                  ->text()
                  .endsWith("the offset's change, +1.00 mV, is beyond the warning limit (0.5)"))
      << box("txtCondition")->text().toStdString();
  EXPECT_EQ(calibration::readProbeCare(1).limits.offsetChangeMv.warn, 0.5);
  EXPECT_EQ(calibration::readProbeCare(2).limits.offsetChangeMv.warn, 15);

  // A store edited by hand with a warning limit above its refusal limit: the dialog shows the
  // defaults in force (start-up says it) without a word of its own.
  calibration::ProbeCare outOfOrder;
  outOfOrder.limits.slopeOfDefault = {30, 20};
  ASSERT_NE(calibration::saveProbeCare(2, outOfOrder), QSettings::AccessError);
  selectProbe(2);
  EXPECT_EQ(cell(0, 0)->text(), "5");
  EXPECT_EQ(cell(2, 0)->text(), "15");
  EXPECT_TRUE(m_messages.shown.empty());
  selectProbe(1);
  EXPECT_EQ(cell(2, 0)->text(), "0.5");
}

} // namespace
