// What the calibration dialog and the buffer assistant leave in the calibration history.
#include "buffer_cal_wait.h"
#include "calibration/calibration_history.h"
#include "calibration/calibration_opener.h"
#include "calibration/due_watch.h"
#include "calibration/frm_buffer_cal.h"
#include "calibration/frm_cal_history.h"
#include "calibration/probe_care.h"
#include "temp_store.h"
#include "tests/support/recorders.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

using calibration::ProbeValues;

double millivoltsOf(double offset, double slope, double ph, double celsius) {
  return 1000 * (offset + 0.000198416 * slope * (celsius + 273.15) * (ph - 7));
}

class CalibrationRecords : public TempStore {
protected:
  void SetUp() override {
    TempStore::SetUp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(m_data.isValid());
    m_savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    m_cal = m_opener.open();
  }
  void TearDown() override {
    delete m_opener.dialog();
    qputenv("XDG_DATA_HOME", m_savedData);
    TempStore::TearDown();
  }
  template <typename T> T *cal(const char *name) const { return m_cal->findChild<T *>(name); }
  template <typename T> T *in(const QString &name) const {
    T *widget = m_assistant->findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QString text(const QString &label) const { return in<QLabel>(label)->text(); }
  void save() const { cal<QPushButton>("Command1")->click(); }
  std::vector<calibration::NumberedRecord> records() const {
    const calibration::HistoryReport report =
        calibration::readHistory(calibration::historyFilePath());
    EXPECT_TRUE(report.intact()) << report.summary().toStdString();
    return report.records;
  }
  void openAssistant() {
    cal<QPushButton>("cmdBufferCal")->click();
    m_assistant = m_cal->findChild<frmBufferCal *>("frmBufferCal");
    ASSERT_TRUE(m_assistant);
  }
  // Measures a row at `mv` and accepts it at once, before it is stable.
  void measureAt(int row, double mv) {
    m_state.ph1mV = mv;
    in<QPushButton>(QString("cmdMeasure_%1").arg(row))->click();
    in<QPushButton>(QString("cmdAccept_%1").arg(row))->click();
    ASSERT_EQ(text(QString("lblState_%1").arg(row)), "accepted, not stable")
        << text("lblMessage").toStdString();
  }
  // Answers the next message box with `button`, and says what it asked.
  void answerNextBox(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [this, button] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      ASSERT_TRUE(box);
      m_asked = box->text();
      box->button(button)->click();
    });
  }

  QTemporaryDir m_data;
  QByteArray m_savedData;
  AcquisitionState m_state;
  testsupport::RecordingMessages m_messages;
  calibration::CalibrationOpener m_opener{m_state, m_messages};
  frmCal *m_cal = nullptr;
  frmBufferCal *m_assistant = nullptr;
  QString m_asked;
};

TEST_F(CalibrationRecords, EverySaveAppendsOneRecordWithTheOldAndNewValues) {
  const ProbeValues defaults{2.5777, 4.5427, "180312", QDate(2001, 1, 1)};
  cal<QLineEdit>("txtOffset")->setText("2.6");
  cal<QLineEdit>("txtCalReason")->setText("weekly check");
  save();
  ProbeValues typed = defaults;
  typed.offset = 2.6;
  std::vector<calibration::NumberedRecord> saved = records();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].record.before, defaults);
  EXPECT_EQ(saved[0].record.after, typed);
  EXPECT_EQ(saved[0].record.source(), "typed");
  EXPECT_EQ(saved[0].record.reason, "weekly check");
  EXPECT_EQ(cal<QLineEdit>("txtCalReason")->text(), "");

  save();
  saved = records();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[1].record.before, typed);
  EXPECT_EQ(saved[1].record.after, typed);
  EXPECT_TRUE(m_messages.shown.empty());

  // A history that cannot be written is said; the store is written all the same.
  const QString history = calibration::historyFilePath();
  ASSERT_TRUE(QFile::remove(history));
  ASSERT_TRUE(QDir().mkpath(history));
  cal<QLineEdit>("txtSlope")->setText("4.4");
  save();
  EXPECT_EQ(stored("slope"), "4.4");
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].text, "The calibration values of probe 1 were saved, but the "
                                      "calibration history could not be written: " +
                                          history + " is a folder, not a regular file.");
}

TEST_F(CalibrationRecords, TheAssistantReadsTheProbesThermistorKeepsMeasuredBuffersAndIsRecorded) {
  m_state.phReadEnabled = true;
  m_state.thermReadEnabled = true;
  m_state.ph1ThermSelect = 2;
  m_state.therm1Temp = 30;
  m_state.therm2Temp = 21.7;
  cal<QLineEdit>("txtCalTemp")->setText("14.000");
  openAssistant();
  in<QComboBox>("cmbBufferSet")->setCurrentIndex(1); // 4.01 / 7.00 / 10.01
  EXPECT_EQ(text("lblTempNow"), "now 21.70 °C");

  const auto &set = calibration::commonBufferSets()[0].solutions;
  const double ph4 = *set[0].phAt(21.7);
  measureAt(0, millivoltsOf(2.58, 4.5, ph4, 21.7));
  const QString measured = text("lblBufferAt_0");
  EXPECT_EQ(measured, QString("%1 at 21.7 °C").arg(ph4, 0, 'f', 3));
  m_state.therm2Temp = 25.4; // the room warms: the measured buffer keeps its value
  const double ph7 = *set[1].phAt(25.4);
  measureAt(1, millivoltsOf(2.58, 4.5, ph7, 25.4));
  EXPECT_EQ(text("lblBufferAt_0"), measured);
  EXPECT_EQ(text("lblFitTemp"), "Buffers at 21.7 °C (thermistor T-2), 25.4 °C (thermistor T-2)");
  EXPECT_TRUE(text("lblFit").startsWith("Offset 2.58 V    Slope 4.5    "))
      << text("lblFit").toStdString();

  in<QPushButton>("cmdApply")->click();
  EXPECT_EQ(cal<QLineEdit>("txtUnsaved")->text(), "Probe 1's live values differ from the stored "
                                                  "ones: in use, not saved until \"Save\".");
  save();
  EXPECT_EQ(cal<QLineEdit>("txtUnsaved")->text(), "");
  const auto saved = records();
  ASSERT_EQ(saved.size(), 1u);
  const calibration::CalibrationRecord &r = saved[0].record;
  EXPECT_EQ(r.source(), "buffers");
  ASSERT_EQ(r.buffers.size(), 2u);
  EXPECT_EQ(r.buffers[0].ph, ph4);
  EXPECT_EQ(r.buffers[0].celsius, 21.7);
  EXPECT_EQ(r.buffers[1].ph, ph7);
  EXPECT_EQ(r.buffers[1].celsius, 25.4);
  EXPECT_EQ(r.temperatureSource, "thermistor T-2");
  EXPECT_EQ(r.after.offset, 2.58);
  EXPECT_EQ(r.after.slope, 4.5);
}

TEST_F(CalibrationRecords, AProbeLeftInOneBufferIsRefusedWithWhatProbablyHappened) {
  m_state.phReadEnabled = true;
  openAssistant();
  in<QComboBox>("cmbTempSource")->setCurrentIndex(frmBufferCal::Typed);
  in<QLineEdit>("txtBufferTemp")->setText("21.7");
  in<QLineEdit>("txtBufferPh_0")->setText("7");
  in<QLineEdit>("txtBufferPh_1")->setText("4");
  measureAt(0, 2577.96);
  measureAt(1, 2577.01);
  EXPECT_TRUE(text("lblMessage").contains("did the probe go into the next buffer?"))
      << text("lblMessage").toStdString();
  EXPECT_FALSE(in<QPushButton>("cmdApply")->isEnabled());
}

TEST_F(CalibrationRecords, BeyondTheRefusalLimitApplyAsksAndTheHistoryKeepsTheOverride) {
  calibration::ProbeCare care;
  care.limits.slopeOfDefault = {2, 4};
  ASSERT_NE(calibration::saveProbeCare(1, care), QSettings::AccessError);
  m_state.phReadEnabled = true;
  openAssistant();
  in<QComboBox>("cmbTempSource")->setCurrentIndex(frmBufferCal::Typed);
  in<QLineEdit>("txtBufferPh_0")->setText("4");
  in<QLineEdit>("txtBufferPh_1")->setText("7");
  // 4.8 is 105.7 % of the default gain: past the refusal limit of 4 points.
  measureAt(0, millivoltsOf(2.5777, 4.8, 4, 25));
  measureAt(1, millivoltsOf(2.5777, 4.8, 7, 25));
  EXPECT_TRUE(text("lblCondition")
                  .startsWith("Slope 105.7 % of default, 105.7 % of previous; "
                              "offset +0.00 mV: the slope against the default, "
                              "105.7 %, is beyond the refusal limit (4)"))
      << text("lblCondition").toStdString();

  answerNextBox(QMessageBox::Cancel);
  in<QPushButton>("cmdApply")->click();
  EXPECT_TRUE(m_asked.contains("beyond the probe's limits")) << m_asked.toStdString();
  EXPECT_TRUE(m_assistant->isVisible());
  EXPECT_EQ(m_state.probe1Slope, 4.5427);

  answerNextBox(QMessageBox::Apply);
  in<QPushButton>("cmdApply")->click();
  EXPECT_EQ(m_state.probe1Slope, 4.8);
  save();
  const auto saved = records();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_TRUE(saved[0].record.overridden.startsWith("the slope against the default, 105.7 %, is "
                                                    "beyond the refusal limit (4)"))
      << saved[0].record.overridden.toStdString();
}

// Typed as the operator types, a keystroke at a time: the live value follows each text that
// reads, and Save refuses a box that does not, naming it as the dialog labels it.
TEST_F(CalibrationRecords, SaveRefusesABoxThatDoesNotReadAndWritesNothing) {
  const struct {
    int probe;
    const char *box;
    const char *typed;
    double live; // the live value after the typing, which the refusal leaves
    const char *message;
  } cases[] = {
      {2, "txtOffset", "2,579", 2, "Probe 2 Offset: \"2,579\" is not a number; nothing was saved."},
      {1, "txtOffset", "2.58x", 2.58,
       "Probe 1 Offset: \"2.58x\" is not a number; nothing was saved."},
      {1, "txtSlope", "", 4.5427, "Probe 1 Slope: \"\" is not a number; nothing was saved."},
      {2, "txtSlope", "0", 0,
       "Probe 2 Slope: \"0\" is a slope of 0, which gives no pH; nothing was saved."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.typed);
    cal<QRadioButton>(c.probe == 1 ? "Option1_1" : "Option1_0")->click();
    cal<QRadioButton>(c.probe == 1 ? "Option1_0" : "Option1_1")->click(); // loads the stored
    auto *box = cal<QLineEdit>(c.box);
    box->clear();
    QTest::keyClicks(box, QString::fromLatin1(c.typed));
    const bool offset = QLatin1String(c.box) == QLatin1String("txtOffset");
    double &live = c.probe == 1 ? (offset ? m_state.probe1Offset : m_state.probe1Slope)
                                : (offset ? m_state.probe2Offset : m_state.probe2Slope);
    EXPECT_EQ(live, c.live);
    m_messages.shown.clear();
    save();
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, c.message);
    EXPECT_EQ(live, c.live) << "the live value stays as typed";
    EXPECT_EQ(box->text(), c.typed);
    EXPECT_TRUE(keysOnDisk().isEmpty()) << "a refused Save wrote to the store";
    EXPECT_TRUE(records().empty());
  }
}

TEST_F(CalibrationRecords, ATypedChangeBeyondARefusalLimitIsSavedOnlyWhenConfirmedAndSaidSo) {
  cal<QRadioButton>("Option1_1")->click();
  // From the stored 2.5777 V: -580.00 mV, beyond the refusal limit of 120 mV.
  cal<QLineEdit>("txtOffset")->setText("1.9977");
  const QString asked = "Probe 2's new values are beyond the probe's limits: the offset's change, "
                        "-580.00 mV, is beyond the refusal limit (120).\n\nSave them anyway? The "
                        "calibration history will record that you did.";
  answerNextBox(QMessageBox::Cancel);
  save();
  EXPECT_EQ(m_asked, asked);
  EXPECT_TRUE(keysOnDisk().isEmpty()) << "Cancel saved";
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(m_state.probe2Offset, 1.9977) << "the live value stays";

  m_asked.clear();
  answerNextBox(QMessageBox::Save);
  save();
  EXPECT_EQ(m_asked, asked);
  EXPECT_EQ(stored("offset2"), "1.9977");
  std::vector<calibration::NumberedRecord> saved = records();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].record.after.offset, 1.9977);
  EXPECT_EQ(saved[0].record.overridden,
            "the offset's change, -580.00 mV, is beyond the refusal limit (120)");
  EXPECT_EQ(saved[0].record.source(), "typed");

  // Saved again unchanged, or changed within the limits: no question, no override recorded.
  save();
  cal<QLineEdit>("txtOffset")->setText("2.0");
  save();
  EXPECT_TRUE(m_messages.shown.empty());
  saved = records();
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[1].record.overridden, "");
  EXPECT_EQ(saved[2].record.overridden, "");
  EXPECT_EQ(stored("offset2"), "2");
}

TEST_F(CalibrationRecords, TheHistoryWindowListsAProbesRecordsNewestFirstAndExportsThem) {
  cal<QLineEdit>("txtOffset")->setText("2.6");
  save();
  cal<QRadioButton>("Option1_1")->click();
  cal<QLineEdit>("txtSlope")->setText("4.4");
  cal<QLineEdit>("txtCalReason")->setText("new probe, see log, p. 12");
  save();
  cal<QRadioButton>("Option1_0")->click();
  cal<QLineEdit>("txtOffset")->setText("2.61");
  save();

  auto *window = new frmCalHistory;
  const auto cell = [&](int row, int column) {
    return window->findChild<QTableWidget *>("tblHistory")->item(row, column)->text();
  };
  EXPECT_TRUE(window->findChild<QLabel *>("lblHistoryCheck")
                  ->text()
                  .startsWith("history intact (3 records)\nFile: "));
  window->findChild<QComboBox *>("cmbHistoryProbe")->setCurrentIndex(1);
  auto *table = window->findChild<QTableWidget *>("tblHistory");
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(cell(0, 0), "3");
  EXPECT_EQ(cell(0, 5), "offset 2.6 → 2.61 V");
  EXPECT_EQ(cell(1, 0), "1");
  EXPECT_EQ(cell(1, 5), "offset 2.5777 → 2.6 V");

  window->findChild<QComboBox *>("cmbHistoryProbe")->setCurrentIndex(2);
  const QString csv = m_data.filePath("export.csv");
  ASSERT_EQ(window->exportCsv(csv), QString());
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 3); // header, one record, and nothing after the last CRLF
  EXPECT_EQ(lines[0], "Record,Time (UTC),Probe,S/N,By,Changed,\"Offset, V\",Slope,Date,Source,"
                      "Reason,Notes\r");
  EXPECT_TRUE(lines[1].startsWith("2,")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].endsWith(",typed,\"new probe, see log, p. 12\",\r"))
      << lines[1].toStdString();
  delete window;
}

TEST_F(CalibrationRecords, DueExactlyAfterTheIntervalAndClearedByASaveWithTodaysDate) {
  QDate today(2026, 12, 8);
  m_state.probe1CalDate = QDate(2026, 12, 1);
  m_state.probe2CalDate = QDate(2026, 12, 8);
  calibration::DueWatch watch(m_state, [&] { return today; });
  QSignalSpy changes(&watch, &calibration::DueWatch::dueChanged);
  EXPECT_FALSE(watch.isDue(1));

  today = QDate(2026, 12, 9);
  watch.check();
  EXPECT_TRUE(watch.isDue(1));
  EXPECT_FALSE(watch.isDue(2));
  EXPECT_EQ(watch.description(), "Calibration due: probe 1 (calibrated 2026-12-01, every 7 days)");
  watch.check();
  EXPECT_EQ(changes.size(), 1);

  m_cal->findChild<QDateEdit *>("DTPicker1")->setDate(today);
  save();
  watch.check();
  EXPECT_FALSE(watch.isDue(1));
  EXPECT_EQ(watch.description(), "");
  EXPECT_EQ(changes.size(), 2);
}

} // namespace
