// Stored settings that cannot be read: the program still starts, with the default coefficients,
// and says so, once, naming what it could not use. Under CTest each case runs in a test process of
// its own; run whole, the cases share one settings folder, so each starts and ends with nothing
// at the settings path.

#include "tests/faults/live_window.h"

#include "calibration/calibration_store.h"
#include "tests/support/fake_clock.h"
#include "tests/support/simulated_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

struct StoreCase {
  const char *name;
  std::function<void(const QString &path)> damage;
  const char *says; // what the one message the operator is told says of it
};

void writeBytes(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

const StoreCase storeCases[] = {
    {"AFolderWhereTheFileShouldBe", [](const QString &path) { QDir().mkpath(path); },
     "is a folder, not a regular file): the default coefficients and calibration care are used"},
    {"BinaryJunk",
     [](const QString &path) {
       QByteArray junk;
       for (int i = 0; i < 4096; ++i)
         junk += char((i * 131 + 7) & 0xFF);
       writeBytes(path, junk);
     },
     // Qt reads what it can of such a file; no coefficient in it reads, so none is used
     "is damaged (it holds bytes that are not text)"},
    {"ValuesThatAreNotNumbersOrDates",
     [](const QString &path) {
       writeBytes(path, "[Coefficients]\noffset=abc\nslope=1e999\ndate=yesterday\n"
                        "offset2=\nslope2=nan\ndate2=99/99/99\n");
     },
     "[Coefficients] slope2 = \"nan\" is not a finite number; 4.5427 is used instead."},
    {"ALinkToNowhere",
     [](const QString &path) {
       QFile::link(QFileInfo(path).dir().filePath(QStringLiteral("gone.conf")), path);
     },
     "is a symbolic link, not a regular file"},
};

void PrintTo(const StoreCase &c, std::ostream *out) { *out << c.name; }

// Removes whatever a case left at the settings path: a file, a folder or a link (never what a
// link points at).
void clearPath(const QString &path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink())
    QDir(path).removeRecursively();
  else
    QFile::remove(path);
}

// The settings path cleared for one case, and cleared again behind it for the tests that follow.
class ClearedPath {
public:
  explicit ClearedPath(QString path) : m_path(std::move(path)) { clearPath(m_path); }
  ~ClearedPath() { clearPath(m_path); }
  ClearedPath(const ClearedPath &) = delete;
  ClearedPath &operator=(const ClearedPath &) = delete;

private:
  QString m_path;
};

class UnreadableSettings : public ::testing::TestWithParam<StoreCase> {};

} // namespace

TEST_P(UnreadableSettings, TheProgramStartsWithTheDefaultCoefficients) {
  const QString path = calibration::settingsFileName();
  const ClearedPath cleared(path);
  ASSERT_FALSE(QFileInfo(path).exists() || QFileInfo(path).isSymLink()) << path.toStdString();
  QDir().mkpath(QFileInfo(path).path());
  GetParam().damage(path);

  testsupport::FakeClock clock(1000);
  testsupport::SimulatedWindow rig(clock);
  frmMain &window = rig.window;
  ASSERT_TRUE(window.load());

  const AcquisitionState &s = window.state();
  EXPECT_EQ(s.probe1Offset, 2.5777);
  EXPECT_EQ(s.probe1Slope, 4.5427);
  EXPECT_EQ(s.probe2Offset, 2.5777);
  EXPECT_EQ(s.probe2Slope, 4.5427);
  EXPECT_EQ(s.probe1CalDate, QDate(2001, 1, 1));
  EXPECT_EQ(s.probe2CalDate, QDate(2001, 1, 1));
  ASSERT_EQ(rig.messages.shown.size(), 1u);
  EXPECT_TRUE(rig.messages.shown[0].text.contains(QDir::toNativeSeparators(path)));
  EXPECT_TRUE(rig.messages.shown[0].text.contains(QLatin1String(GetParam().says)))
      << rig.messages.shown[0].text.toStdString();

  // A pH reading with the defaults is sound.
  window.state().phReadEnabled = true;
  window.readTick();
  EXPECT_TRUE(faults::allFinite(window.state()));
  EXPECT_GT(window.state().ph1Value, 6);
  EXPECT_LT(window.state().ph1Value, 8);
}

INSTANTIATE_TEST_SUITE_P(Store, UnreadableSettings, ::testing::ValuesIn(storeCases),
                         [](const ::testing::TestParamInfo<StoreCase> &info) {
                           return std::string(info.param.name);
                         });
