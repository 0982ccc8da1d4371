#include "temp_store.h"

#include "calibration/probe_care.h"
#include "common/number_text.h"

#include <QDir>

#include <functional>

#include <unistd.h>

namespace {

using calibration::loadCoefficients;
using calibration::readProbeCoefficients;
using calibration::saveProbeCoefficients;

const QLocale us(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

// Fills the calibration fields with values no load would give, to see which ones a load sets.
AcquisitionState stateWithJunkCoefficients() {
  AcquisitionState state;
  state.probe1Offset = state.probe2Offset = state.probe1Slope = state.probe2Slope = -99;
  state.probe1Serial = state.probe2Serial = "junk";
  state.probe1CalDate = state.probe2CalDate = QDate(1970, 5, 5);
  return state;
}

void expectDefaults(const AcquisitionState &state) {
  EXPECT_EQ(state.probe1Offset, 2.5777);
  EXPECT_EQ(state.probe2Offset, 2.5777);
  EXPECT_EQ(state.probe1Slope, 4.5427);
  EXPECT_EQ(state.probe2Slope, 4.5427);
  EXPECT_EQ(state.probe1Serial, "180312");
  EXPECT_EQ(state.probe2Serial, "180312");
  EXPECT_EQ(state.probe1CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(state.probe2CalDate, QDate(2001, 1, 1));
}

void expectDefaultTexts(int probe) {
  const calibration::ProbeTexts texts = readProbeCoefficients(probe);
  EXPECT_EQ(texts.offset, "2.5777");
  EXPECT_EQ(texts.slope, "4.5427");
  EXPECT_EQ(texts.serialNumber, "180312");
  EXPECT_EQ(texts.date, "01/01/01");
}

using CalibrationStore = TempStore;

TEST_F(CalibrationStore, EmptyStoreGivesTheDefaultsAndLoadingCreatesNothing) {
  for (const QLocale &locale : {us, german}) {
    QLocale::setDefault(locale);
    AcquisitionState state = stateWithJunkCoefficients();
    EXPECT_EQ(loadCoefficients(state), QSettings::NoError);
    expectDefaults(state);
    expectDefaultTexts(1);
    expectDefaultTexts(2);
  }
  EXPECT_TRUE(QDir(m_dir->path()).isEmpty()) << "a load wrote to the store";
}

TEST_F(CalibrationStore, SavingAProbeWritesExactlyItsFourKeys) {
  QLocale::setDefault(us);
  const struct {
    int probe;
    QSet<QString> keys;
  } cases[] = {{2, {"offset2", "slope2", "serial number2", "date2"}},
               {1, {"offset", "slope", "serial number", "date"}}};
  for (const auto &c : cases) {
    freshStore(); // a fresh, empty store
    AcquisitionState state;
    loadCoefficients(state);
    ASSERT_EQ(saveProbeCoefficients(state, c.probe), QSettings::NoError);
    EXPECT_EQ(keysOnDisk(), c.keys) << "probe " << c.probe;
    const QString suffix = c.probe == 2 ? "2" : "";
    // Never-edited values are written out explicitly.
    EXPECT_EQ(stored("offset" + suffix), "2.5777");
    EXPECT_EQ(stored("slope" + suffix), "4.5427");
    EXPECT_EQ(stored("serial number" + suffix), "180312");
    EXPECT_EQ(stored("date" + suffix), "1/1/2001");
  }
}

TEST_F(CalibrationStore, SavedNumbersAndDatesReadBackUnchanged) {
  const struct {
    double offset;
    double slope;
    QDate date;
  } values[] = {
      {0.123456789012345, 123456789012345, QDate(1999, 12, 31)},
      {-2.5, 4.99999999999999, QDate(2029, 12, 31)},
      {12345.6789012345, 1e-7, QDate(1930, 1, 1)},
      {-0.000987654321098765, 98765.4321098765, QDate(2026, 2, 28)},
  };
  for (const QLocale &locale : {us, german}) {
    QLocale::setDefault(locale);
    for (const auto &v : values) {
      AcquisitionState saved;
      saved.probe1Offset = v.offset;
      saved.probe1Slope = v.slope;
      saved.probe1CalDate = v.date;
      saved.probe2Offset = -v.offset;
      saved.probe2Slope = v.slope * 2;
      saved.probe2CalDate = v.date.addDays(1);
      ASSERT_EQ(saveProbeCoefficients(saved, 1), QSettings::NoError);
      ASSERT_EQ(saveProbeCoefficients(saved, 2), QSettings::NoError);

      AcquisitionState loaded = stateWithJunkCoefficients();
      loadCoefficients(loaded);
      const std::string where =
          locale.name().toStdString() + " offset " + stored("offset").toStdString();
      EXPECT_EQ(loaded.probe1Offset, v.offset) << where;
      EXPECT_EQ(loaded.probe1Slope, v.slope) << where;
      EXPECT_EQ(loaded.probe1CalDate, v.date) << where;
      EXPECT_EQ(loaded.probe2Offset, -v.offset) << where;
      EXPECT_EQ(loaded.probe2Slope, v.slope * 2) << where;
      EXPECT_EQ(loaded.probe2CalDate, v.date.addDays(1)) << where;
    }
  }
  // The plain form with the regional separator, as the last save under German settings left it.
  AcquisitionState half;
  half.probe1Offset = 2.5;
  half.probe1CalDate = QDate(2001, 1, 1);
  saveProbeCoefficients(half, 1);
  EXPECT_EQ(stored("offset"), "2,5");
  EXPECT_EQ(stored("date"), "01.01.2001");
}

TEST_F(CalibrationStore, SerialNumbersAreKeptExactlyAsTyped) {
  const QString serials[] = {"007",        "AB-12 x",       "  blanks around  ", "",
                             "a, b,c",     "\"q\"",         "@Variant(junk)",    "back\\slash;#x",
                             "Ünïcødé №5", "[Coefficients]"};
  for (const QString &serial : serials) {
    AcquisitionState saved;
    saved.probe2Serial = serial;
    ASSERT_EQ(saveProbeCoefficients(saved, 2), QSettings::NoError);
    AcquisitionState loaded = stateWithJunkCoefficients();
    loadCoefficients(loaded);
    EXPECT_EQ(loaded.probe2Serial, serial);
    EXPECT_EQ(readProbeCoefficients(2).serialNumber, serial);
    EXPECT_FALSE(loaded.probe2Serial.isNull()) << "empty must load as empty, not absent";
  }
}

TEST_F(CalibrationStore, StoredTextsThatDoNotReadKeepTheirDefaults) {
  QLocale::setDefault(us);
  store("offset", "abc");
  store("slope", "4.5");
  store("date", "soon");
  store("offset2", "");
  store("slope2", "1e400");
  store("date2", "2/30/2001");
  store("serial number2", "");
  const QByteArray before = fileBytes();

  AcquisitionState state = stateWithJunkCoefficients();
  EXPECT_EQ(loadCoefficients(state), QSettings::NoError);
  EXPECT_EQ(state.probe1Offset, 2.5777);
  EXPECT_EQ(state.probe1Slope, 4.5);
  EXPECT_EQ(state.probe1CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(state.probe1Serial, "180312");
  EXPECT_EQ(state.probe2Offset, 2.5777);
  EXPECT_EQ(state.probe2Slope, 4.5427);
  EXPECT_EQ(state.probe2CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(state.probe2Serial, "");

  const calibration::ProbeTexts one = readProbeCoefficients(1);
  EXPECT_EQ(one.offset, "2.5777");
  EXPECT_EQ(one.slope, "4.5");
  EXPECT_EQ(one.date, "01/01/01");
  EXPECT_EQ(fileBytes(), before);
}

TEST_F(CalibrationStore, UnreadableSettingsFileStartsOnTheDefaults) {
  QByteArray noise;
  for (int i = 0; i < 512; ++i)
    noise.append(char((i * 37 + 11) & 0xff));
  const struct {
    const char *what;
    QByteArray bytes; // empty: a folder stands where the file should be
    double offset;    // probe 1's offset after the load
  } cases[] = {
      {"binary noise", noise, 2.5777},
      {"a folder", {}, 2.5777},
      // Qt keeps what it could parse of a damaged file; the rest falls back to the defaults.
      {"a broken section after a good key",
       bytesOf("[Coefficients]\noffset=1.5\n[broken\n\xff\xfe\x00zz\nslope=3\n"), 1.5},
  };
  for (const auto &c : cases) {
    freshStore();
    if (c.bytes.isEmpty())
      ASSERT_TRUE(QDir().mkpath(filePath()));
    else
      writeFile(c.bytes);
    SCOPED_TRACE(c.what);
    // Twice: Qt reports the damage only to the first reader of the file, and the start-up load
    // and the dialog must still agree.
    for (int pass = 0; pass < 2; ++pass) {
      AcquisitionState state = stateWithJunkCoefficients();
      loadCoefficients(state);
      EXPECT_EQ(state.probe1Offset, c.offset);
      EXPECT_EQ(readProbeCoefficients(1).offset, common::generalNumber(c.offset));
      state.probe1Offset = 2.5777;
      expectDefaults(state);
      expectDefaultTexts(2);
    }
    EXPECT_EQ(fileBytes(), c.bytes) << "a load changed the file";
  }
}

TEST_F(CalibrationStore, UnreadableBecauseOfPermissionsStartsOnTheDefaults) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads files whatever their permissions";
  // Written as a previous run left it: a QSettings write would leave the values in Qt's
  // in-process cache, which does not look at permissions again.
  writeFile("[Coefficients]\noffset=1.5\n");
  ASSERT_TRUE(QFile::setPermissions(filePath(), QFileDevice::Permissions()));
  AcquisitionState state = stateWithJunkCoefficients();
  EXPECT_EQ(loadCoefficients(state), QSettings::AccessError);
  expectDefaults(state);
}

TEST_F(CalibrationStore, SaveReportsAStoreThatCannotBeWrittenAndReplacesAGarbledOne) {
  AcquisitionState state;
  state.probe2Offset = 1.25;
  state.probe2CalDate = QDate(2020, 3, 4);

  ASSERT_TRUE(QDir().mkpath(filePath()));
  EXPECT_EQ(saveProbeCoefficients(state, 2), QSettings::AccessError);

  freshStore();
  writeFile(bytesOf("[Coefficients]\noffset=1.5\n[broken\n\xff\xfe\x00zz\n"));
  EXPECT_NE(saveProbeCoefficients(state, 2), QSettings::AccessError);
  AcquisitionState loaded;
  EXPECT_EQ(loadCoefficients(loaded), QSettings::NoError);
  EXPECT_EQ(loaded.probe2Offset, 1.25);
  EXPECT_EQ(loaded.probe2CalDate, QDate(2020, 3, 4));
}

// Each stored value that cannot be used is said once, naming its group and key and what is used
// instead; the file keeps the stored text until the next Save.
TEST_F(CalibrationStore, EachStoredValueThatCannotBeUsedIsSaidWithWhatIsUsedInstead) {
  QLocale::setDefault(us);
  const struct {
    const char *key; // group/key as QSettings names it
    const char *text;
    const char *said; // after 'In the settings file "<file>", '; empty: nothing to say
    std::function<bool()> inForce; // the value used instead is the one in force
  } rows[] = {
      {"Coefficients/slope", "0",
       "[Coefficients] slope = \"0\" is a slope of 0, which gives no pH; 4.5427 is used instead.",
       [] { AcquisitionState s; loadCoefficients(s); return s.probe1Slope == 4.5427; }},
      {"Coefficients/offset2", "inf",
       "[Coefficients] offset2 = \"inf\" is not a finite number; 2.5777 is used instead.",
       [] { AcquisitionState s; loadCoefficients(s); return s.probe2Offset == 2.5777; }},
      {"Coefficients/date", "31/31/2001",
       "[Coefficients] date = \"31/31/2001\" is not a date; 01/01/01 is used instead.",
       [] { AcquisitionState s; loadCoefficients(s); return s.probe1CalDate == QDate(2001, 1, 1); }},
      {"Calibration care/probe1/due days", "1e300",
       "[Calibration care] probe1/due days = \"1e300\" is not a whole number of days, 0 or more; "
       "7 is used instead.",
       [] { return calibration::readProbeCare(1).dueDays == 7; }},
      {"Calibration care/probe2/due days", "-3",
       "[Calibration care] probe2/due days = \"-3\" is not a whole number of days, 0 or more; 7 "
       "is used instead.",
       [] { return calibration::readProbeCare(2).dueDays == 7; }},
      {"Calibration care/probe1/offset change mV refuse", "nan",
       "[Calibration care] probe1/offset change mV refuse = \"nan\" is not a number, 0 or more; "
       "120 is used instead.",
       [] { return calibration::readProbeCare(1).limits.offsetChangeMv.refuse == 120; }},
      {"Calibration care/probe2/slope of default warn", "30",
       "[Calibration care] probe2/slope of default warn = \"30\" is above its refusal limit, 20; "
       "5 (refusing above 20) is used instead.",
       [] { return calibration::readProbeCare(2).limits.slopeOfDefault.warn == 5; }},
      // Sound values, at the edges of what the dialog takes, are used without a word.
      {"Calibration care/probe1/due days", "0", "",
       [] { return calibration::readProbeCare(1).dueDays == 0; }},
      {"Coefficients/slope2", "-4.5", "",
       [] { AcquisitionState s; loadCoefficients(s); return s.probe2Slope == -4.5; }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.key);
    freshStore();
    {
      QSettings settings(filePath(), QSettings::IniFormat);
      settings.setValue(QString::fromUtf8(row.key), QString::fromUtf8(row.text));
    }
    const QByteArray before = fileBytes();
    const QStringList said = calibration::settingsProblems();
    if (*row.said) {
      EXPECT_EQ(said, QStringList{"In the settings file \"" + QDir::toNativeSeparators(filePath()) +
                                  "\", " + QString::fromUtf8(row.said)});
    } else {
      EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
    }
    EXPECT_TRUE(row.inForce());
    EXPECT_EQ(fileBytes(), before) << "a load changed the stored text";
  }
}

} // namespace
