// The main window's "calibration due" marks, from the store's dates at start to a Save in the
// calibration dialog.
#include "frm_main_fixture.h"

#include "calibration/calibration_store.h"
#include "calibration/due_watch.h"
#include "calibration/frm_cal.h"
#include "state/quantities.h"

#include <QAction>
#include <QDateEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

class CalibrationDue : public FrmMainFixture {
protected:
  // Probe 1 calibrated eight days ago, past its default interval of seven; probe 2 today.
  void SetUp() override {
    ASSERT_TRUE(m_config.isValid() && m_data.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    m_savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
    AcquisitionState stored;
    calibration::loadCoefficients(stored);
    stored.probe1CalDate = m_today.addDays(-8);
    stored.probe2CalDate = m_today;
    ASSERT_NE(calibration::saveProbeCoefficients(stored, 1), QSettings::AccessError);
    ASSERT_NE(calibration::saveProbeCoefficients(stored, 2), QSettings::AccessError);
    FrmMainFixture::SetUp();
  }
  void TearDown() override {
    window.reset();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       qEnvironmentVariable("XDG_CONFIG_HOME"));
    qputenv("XDG_DATA_HOME", m_savedData);
  }

  // Whether the display carries a visible mark that leaves its digits clear, and what its
  // accessible description says.
  std::pair<bool, QString> markOn(const char *display) const {
    auto *reading = find<QLabel>(QLatin1String(display));
    if (!reading)
      return {false, QStringLiteral("<no display>")};
    auto *mark = window->findChild<QLabel *>(QLatin1String(display) + QStringLiteral("CalDue"));
    // Shown, and beside the reading rather than over its digits.
    const bool shown = mark && !mark->isHidden() && mark->text() == "calibration due" &&
                       !QRect(mark->mapTo(window.get(), QPoint()), mark->size())
                            .intersects(QRect(reading->mapTo(window.get(), QPoint()),
                                              reading->size()));
    return {shown, reading->accessibleDescription()};
  }

  QTemporaryDir m_config;
  QTemporaryDir m_data;
  QByteArray m_savedData;
  const QDate m_today = QDate::currentDate();
};

TEST_F(CalibrationDue, APastDueProbeIsMarkedOnItsDisplaysUntilASaveWithTodaysDate) {
  const console::QuantityControls &ph1 = console::controls(state::Quantity::Ph1);
  const console::QuantityControls &ph2 = console::controls(state::Quantity::Ph2);
  // The alarm view redraws the same displays every half second: the marks must outlast that.
  QTest::qWait(1200);
  for (const char *display : {ph1.display, ph1.correctedDisplay})
    EXPECT_EQ(markOn(display), std::make_pair(true, QString("Calibration due for probe 1")))
        << display;
  for (const char *display : {ph2.display, ph2.correctedDisplay})
    EXPECT_EQ(markOn(display), std::make_pair(false, QString())) << display;
  EXPECT_EQ(window->statusBar()->toolTip(),
            QString("Calibration due: probe 1 (calibrated %1, every 7 days)")
                .arg(m_today.addDays(-8).toString(Qt::ISODate)));

  find<QAction>("mnuPhCal")->trigger();
  auto *dialog = find<frmCal>("frmCal");
  ASSERT_TRUE(dialog);
  dialog->findChild<QDateEdit *>("DTPicker1")->setDate(m_today);
  dialog->findChild<QPushButton *>("Command1")->click();
  // What the watch's timer does every minute.
  auto *watch = window->findChild<calibration::DueWatch *>();
  ASSERT_TRUE(watch);
  watch->check();
  for (const char *display : {ph1.display, ph1.correctedDisplay})
    EXPECT_EQ(markOn(display), std::make_pair(false, QString())) << display;
  EXPECT_EQ(window->statusBar()->toolTip(), "");
  EXPECT_TRUE(messages.shown.empty());
}

} // namespace
