// The installed and packaged program, run as a person would run it: installed into a temporary
// prefix (or unpacked from the Debian package), started offscreen with BRELLIS_QUIT_AFTER_SHOW,
// which ends it once its window is shown and prints its messages instead of showing boxes.

#include "console/frm_main.h"
#include "instrument/clock.h"
#include "sim/simulated_bus.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <optional>

namespace {

const int iconSizes[] = {16, 32, 48, 64, 128, 256};

struct Outcome {
  bool finished = false;
  int exitCode = -1;
  QString out;
  QString err;
};

// Runs a program to its end; one that has not ended after 60 s is killed and reported as not
// finished, so a program waiting on a box fails the test instead of hanging it.
Outcome
runProgram(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  Outcome run;
  if (!process.waitForStarted(10000))
    return run;
  run.finished = process.waitForFinished(60000);
  if (!run.finished) {
    process.kill();
    process.waitForFinished();
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

// Installs the build tree under prefix, as `cmake --install` does for a person.
void installInto(const QString &prefix) {
  const Outcome run = runProgram(QStringLiteral(BRELLIS_CMAKE),
                                 {QStringLiteral("--install"), QStringLiteral(BRELLIS_BUILD_DIR),
                                  QStringLiteral("--prefix"), prefix});
  ASSERT_TRUE(run.finished && run.exitCode == 0) << qPrintable(run.out + run.err);
}

// The environment of a check run: offscreen, ended once shown, settings in a folder of its own.
QProcessEnvironment checkEnvironment(const QString &scratch) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("BRELLIS_QUIT_AFTER_SHOW"), QStringLiteral("1"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch);
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch);
  return environment;
}

bool copyFolder(const QString &from, const QString &to) {
  QDir source(from);
  if (!QDir().mkpath(to))
    return false;
  for (const QFileInfo &entry :
       source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString target = QDir(to).filePath(entry.fileName());
    if (entry.isDir() ? !copyFolder(entry.filePath(), target)
                      : !QFile::copy(entry.filePath(), target))
      return false;
  }
  return true;
}

TEST(InstalledProgram, ReportsItsVersionWithoutADisplay) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  installInto(prefix.path());

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  const Outcome run = runProgram(prefix.filePath(QStringLiteral("bin/brellis")),
                                 {QStringLiteral("--version")}, environment);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
  EXPECT_EQ(run.out, QStringLiteral("brellis 2.4.1\n"));
}

// Where the started program takes its pictures from. A missing picture ends the start with
// status 1 and a message naming the file looked for, so status 0 says every picture was found.
TEST(InstalledProgram, FindsItsPicturesBesideItselfOrElseInTheDataFolder) {
  struct Case {
    const char *name;
    std::function<bool(const QDir &prefix)> arrange;
    int exitCode;
    const char *message; // in the program's standard error; empty when none is expected
  };
  const auto removeData = [](const char *file) {
    return [file](const QDir &prefix) {
      return QFile::remove(prefix.filePath(QStringLiteral("share/brellis/icons/") + file));
    };
  };
  const Case cases[] = {
      {"installed layout", [](const QDir &) { return true; }, 0, ""},
      {"logo missing", removeData("OSTRA LOGO4.gif"), 1,
       "Cannot load the picture \"%1/share/brellis/icons/OSTRA LOGO4.gif\"."},
      {"red light missing", removeData("redlight.bmp"), 1,
       "Cannot load the picture \"%1/share/brellis/icons/redlight.bmp\"."},
      {"a copy with its icons beside it",
       [](const QDir &prefix) {
         return copyFolder(prefix.filePath(QStringLiteral("share/brellis/icons")),
                           prefix.filePath(QStringLiteral("bin/icons"))) &&
                QFile::remove(prefix.filePath(QStringLiteral("share/brellis/icons/redlight.bmp")));
       },
       0, ""},
      {"an empty icons folder beside it", // beside wins even when it lacks the picture
       [](const QDir &prefix) { return prefix.mkpath(QStringLiteral("bin/icons")); }, 1,
       "Cannot load the picture \"%1/bin/icons/OSTRA LOGO4.gif\"."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    installInto(prefix.path());
    ASSERT_FALSE(QFileInfo::exists(prefix.filePath(QStringLiteral("bin/icons"))));
    ASSERT_TRUE(c.arrange(QDir(prefix.path())));

    const Outcome run = runProgram(prefix.filePath(QStringLiteral("bin/brellis")),
                                   {QStringLiteral("--simulate")}, checkEnvironment(prefix.path()));
    ASSERT_TRUE(run.finished) << "the program did not end by itself";
    EXPECT_EQ(run.exitCode, c.exitCode) << qPrintable(run.err);
    if (*c.message)
      EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message).arg(prefix.path())))
          << qPrintable(run.err);
    else
      EXPECT_FALSE(run.err.contains(QStringLiteral("brellis:"))) << qPrintable(run.err);
  }
}

TEST(InstalledProgram, PutsItsMenuEntryAndIconWhereDesktopsLook) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  installInto(prefix.path());
  const QDir share(prefix.filePath(QStringLiteral("share")));

  QFile entry(share.filePath(QStringLiteral("applications/brellis.desktop")));
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
  EXPECT_EQ(lines.value(0), QStringLiteral("[Desktop Entry]"));
  // The Exec and Icon names must be the installed program's and icon's file names.
  for (const char *line : {"Type=Application", "Exec=brellis", "Icon=brellis"})
    EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
  const QStringList categories = lines.filter(QRegularExpression(QStringLiteral("^Categories=")));
  ASSERT_EQ(categories.size(), 1);
  EXPECT_TRUE(categories[0].mid(11).split(QLatin1Char(';')).contains(QStringLiteral("Science")));

  // Each theme size holds an image of that size: a desktop scales nothing it finds there.
  for (int size : iconSizes) {
    const QString file =
        share.filePath(QStringLiteral("icons/hicolor/%1x%1/apps/brellis.png").arg(size));
    const QImage image(file);
    EXPECT_EQ(image.size(), QSize(size, size)) << qPrintable(file);
  }
  EXPECT_TRUE(share.exists(QStringLiteral("icons/hicolor/scalable/apps/brellis.svg")));

  const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  if (validator.isEmpty())
    GTEST_SKIP() << "desktop-file-validate is not installed; the entry was not validated";
  const Outcome validation = runProgram(validator, {entry.fileName()});
  EXPECT_TRUE(validation.finished && validation.exitCode == 0) << qPrintable(validation.out);
  EXPECT_EQ(validation.out, QString()) << "warnings count as faults";
}

// What `cpack -G DEB` builds: its control fields, and its unpacked programs started from the
// package's own layout.
class DebianPackage : public ::testing::Test {
protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dpkg-query")).isEmpty())
      GTEST_SKIP() << "not a Debian system";
    ASSERT_TRUE(m_scratch.isValid());
    const Outcome pack =
        runProgram(QStringLiteral(BRELLIS_CPACK),
                   {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                    QStringLiteral(BRELLIS_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                    m_scratch.path()});
    ASSERT_TRUE(pack.finished && pack.exitCode == 0) << qPrintable(pack.out + pack.err);
    const QStringList debs =
        QDir(m_scratch.path()).entryList({QStringLiteral("brellis_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << qPrintable(pack.out);
    m_deb = m_scratch.filePath(debs[0]);
  }

  QString field(const QString &name) const {
    return runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, name})
        .out.trimmed();
  }

  QTemporaryDir m_scratch;
  QString m_deb;
};

// The Debian package that ships a file, or nothing when dpkg knows no package for it.
std::optional<QString> owningPackage(const QString &file) {
  // On a merged /usr, dpkg may know a library under /lib where the loader found it under /usr/lib.
  QStringList candidates{file};
  if (file.startsWith(QStringLiteral("/usr/")))
    candidates << file.mid(4);
  else
    candidates << QStringLiteral("/usr") + file;
  for (const QString &candidate : candidates) {
    const Outcome run = runProgram(QStringLiteral("dpkg-query"), {QStringLiteral("-S"), candidate});
    if (run.finished && run.exitCode == 0)
      return run.out.section(QLatin1Char(':'), 0, 0).trimmed();
  }
  return std::nullopt;
}

// A field of /etc/os-release (ID, VERSION_ID), without its quotes; empty when it is not there.
QString osReleaseField(const QString &name) {
  QFile file(QStringLiteral("/etc/os-release"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return QString();
  const QString prefix = name + QLatin1Char('=');
  for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
    if (line.startsWith(prefix))
      return line.mid(prefix.size()).remove(QLatin1Char('"'));
  }
  return QString();
}

TEST_F(DebianPackage, DeclaresThePackageOfEveryLibraryItsProgramsLoad) {
  EXPECT_EQ(field(QStringLiteral("Package")), QStringLiteral("brellis"));
  // The version names the release it was built for: 2.4.1~deb12 on Debian 12, ~deb13 on 13.
  const QString id = osReleaseField(QStringLiteral("ID"));
  const QString release = osReleaseField(QStringLiteral("VERSION_ID"));
  if (id == QStringLiteral("debian") && !release.isEmpty())
    EXPECT_EQ(field(QStringLiteral("Version")), QStringLiteral("2.4.1~deb") + release);
  else
    EXPECT_TRUE(field(QStringLiteral("Version")).startsWith(QStringLiteral("2.4.1~")));
  EXPECT_EQ(field(QStringLiteral("Section")), QStringLiteral("science"));
  // Computed dependencies come from the programs; the face of the displays cannot be seen there.
  EXPECT_EQ(field(QStringLiteral("Recommends")), QStringLiteral("fonts-dejavu-extra"));

  QStringList declared;
  for (const QString &dependency : field(QStringLiteral("Depends")).split(QLatin1Char(',')))
    declared << dependency.trimmed().section(QLatin1Char(' '), 0, 0);

  const QDir unpacked(m_scratch.filePath(QStringLiteral("root")));
  const Outcome extract =
      runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, unpacked.path()});
  ASSERT_TRUE(extract.finished && extract.exitCode == 0) << qPrintable(extract.err);
  for (const char *program : {"usr/bin/brellis", "usr/bin/dgh-sim"}) {
    SCOPED_TRACE(program);
    // ldd lists every library loaded, the libraries' own needs too; those come with the
    // declared packages' dependencies, so only the program's own (NEEDED) ones are checked.
    const Outcome needed =
        runProgram(QStringLiteral("readelf"), {QStringLiteral("-d"), unpacked.filePath(program)});
    const Outcome loaded = runProgram(QStringLiteral("ldd"), {unpacked.filePath(program)});
    ASSERT_TRUE(needed.exitCode == 0 && loaded.exitCode == 0) << qPrintable(needed.err);
    const QRegularExpression neededLine(QStringLiteral(R"(\(NEEDED\).*\[(.+)\])"));
    int checked = 0;
    for (auto match = neededLine.globalMatch(needed.out); match.hasNext();) {
      const QString soname = match.next().captured(1);
      const QRegularExpression lddLine(
          QStringLiteral(R"(^\s*%1 => (\S+))").arg(QRegularExpression::escape(soname)),
          QRegularExpression::MultilineOption);
      const QString path = lddLine.match(loaded.out).captured(1);
      ASSERT_FALSE(path.isEmpty()) << qPrintable(soname) << " not found by ldd";
      const std::optional<QString> package = owningPackage(path);
      ASSERT_TRUE(package) << qPrintable(path) << " belongs to no package";
      EXPECT_TRUE(declared.contains(*package))
          << qPrintable(soname) << " comes with " << qPrintable(*package)
          << ", which the package does not depend on";
      ++checked;
    }
    EXPECT_GE(checked, 3);
  }
}

TEST_F(DebianPackage, UnpackedProgramStartsFromThePackagesLayout) {
  const QDir unpacked(m_scratch.filePath(QStringLiteral("root")));
  const Outcome extract =
      runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, unpacked.path()});
  ASSERT_TRUE(extract.finished && extract.exitCode == 0) << qPrintable(extract.err);
  for (const char *file :
       {"usr/share/applications/brellis.desktop", "usr/share/icons/hicolor/48x48/apps/brellis.png",
        "usr/share/icons/hicolor/scalable/apps/brellis.svg",
        "usr/share/doc/brellis/examples/60-brellis-usb-serial-latency.rules",
        "usr/share/doc/brellis/examples/brellis-alarm-ntfy",
        "usr/share/doc/brellis/examples/brellis-alarm-mail",
        "usr/share/doc/brellis/examples/brellis-alarm-webhook"})
    EXPECT_TRUE(unpacked.exists(QString::fromUtf8(file))) << file;

  const Outcome run =
      runProgram(unpacked.filePath(QStringLiteral("usr/bin/brellis")),
                 {QStringLiteral("--simulate")}, checkEnvironment(m_scratch.path()));
  ASSERT_TRUE(run.finished) << "the program did not end by itself";
  EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);

  const Outcome sim =
      runProgram(unpacked.filePath(QStringLiteral("usr/bin/dgh-sim")), {QStringLiteral("--help")});
  ASSERT_TRUE(sim.finished);
  EXPECT_EQ(sim.exitCode, 0) << qPrintable(sim.err);
}

// The main window carries the application icon in every size the desktop entry's icon has.
TEST(MainWindowIcon, HasEverySizeOfTheApplicationIcon) {
  struct Case {
    const char *name;
    QString iconsDir;
    int sizes;
  };
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  const Case cases[] = {
      {"the build's icons", QStringLiteral(BRELLIS_BUILD_ICONS_DIR), int(std::size(iconSizes))},
      {"a folder without them", empty.path(), 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    tiltdgh::SteadyClock clock;
    sim::DghModules modules;
    sim::SimulatedBus line(clock, modules);
    FrmMainServices services;
    services.iconsDir = c.iconsDir;
    frmMain window(line, clock, services);
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_EQ(sizes.size(), c.sizes);
    if (c.sizes > 0) {
      for (int size : iconSizes)
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
  }
}

} // namespace
