#include "runs/events_journal.h"
#include "runs/run_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace runs;

namespace {

RunRecord sampleRun() {
  RunRecord run;
  run.port = 3;
  run.com = {{1, "/dev/ttyUSB0"}, {3, "/dev/serial/by-id/usb-FTDI_A1-if00-port0"}};
  run.simulate = true;
  run.ph = true;
  run.therm = true;
  run.updateRate = 4;
  run.plot = true;
  run.plotPh2 = true;
  run.logFile = "/data/tank 2, run \"B\".csv";
  run.logIntervalMs = 5000;
  run.logAppend = false;
  run.logging = true;
  run.options = {"--mqtt", "broker.lab:1883", "--mqtt-password-file", "/etc/brellis/pw"};
  run.lastRecordUtc = QDateTime::fromString("2026-12-09T03:12:45.250Z", Qt::ISODateWithMs);
  return run;
}

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// What is at `path`, without following a link or opening anything but a regular file.
QByteArray describe(const QString &path) {
  const QFileInfo info(path);
  if (info.isSymLink())
    return "link to " + QFile::encodeName(info.symLinkTarget());
  if (info.isDir())
    return "folder";
  if (!info.isFile())
    return "special";
  return contents(path);
}

void put(const QString &path, const QByteArray &text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

// The sample run's text with one field replaced by the JSON `value` (removed when it is empty).
QByteArray withField(const char *key, const char *value) {
  QJsonObject object = QJsonDocument::fromJson(runFileText(sampleRun())).object();
  if (*value)
    object.insert(key, QJsonDocument::fromJson(QByteArray("[") + value + "]").array().at(0));
  else
    object.remove(key);
  return QJsonDocument(object).toJson();
}

TEST(RunFile, EveryFieldSurvivesSaveAndLoad) {
  QTemporaryDir dir;
  const QString path = dir.filePath("state/brellis/run.json");
  for (const RunRecord &run : {sampleRun(), RunRecord{}}) {
    ASSERT_EQ(saveRunFile(path, run), "");
    const RunFileLoad load = loadRunFile(path);
    ASSERT_EQ(load.outcome, RunFileLoad::Outcome::Loaded) << qPrintable(load.message);
    EXPECT_EQ(load.record, run);
  }
  // Replaced by rename: nothing but the run file is left in its folder.
  EXPECT_EQ(QDir(dir.filePath("state/brellis")).entryList(QDir::Files | QDir::Hidden),
            QStringList{"run.json"});
}

TEST(RunFile, SavingThroughALinkIsRefusedAndSaysWhyItFailed) {
  QTemporaryDir dir;
  const QString target = dir.filePath("elsewhere.json");
  put(target, "kept");
  const QString path = dir.filePath("run.json");
  ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()),
            0);
  // A link planted in its place is refused by name and never written through.
  EXPECT_EQ(saveRunFile(path, sampleRun()),
            "The run file " + path + " cannot be written: " + path +
                " is a symbolic link, not a regular file");
  EXPECT_EQ(contents(target), "kept");
  EXPECT_TRUE(QFileInfo(path).isSymLink());

  const QString blocked = dir.filePath("elsewhere.json/run.json"); // its folder is a file
  const QString error = saveRunFile(blocked, sampleRun());
  EXPECT_TRUE(error.startsWith("The run file " + blocked + " cannot be written: "))
      << qPrintable(error);
}

TEST(RunFile, NoFileIsNoRunAndNotARefusal) {
  QTemporaryDir dir;
  const RunFileLoad load = loadRunFile(dir.filePath("run.json"));
  EXPECT_EQ(load.outcome, RunFileLoad::Outcome::Missing);
  EXPECT_EQ(load.message, "");
}

TEST(RunFile, DamagedOrForeignFilesAreRefusedByNameAndLeftAsTheyAre) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.json");
  const QString good = dir.filePath("good.json");
  ASSERT_EQ(saveRunFile(good, sampleRun()), "");
  struct Case {
    const char *name;
    std::function<void()> make;
    const char *why;
  };
  const auto text = [&](QByteArray bytes) { return [&, bytes] { put(path, bytes); }; };
  const Case cases[] = {
      {"link",
       [&] { ::symlink(QFile::encodeName(good).constData(), QFile::encodeName(path).constData()); },
       "is a symbolic link, not a regular file"},
      {"folder", [&] { QDir().mkpath(path); }, "is a folder, not a regular file"},
      {"fifo", [&] { ::mkfifo(QFile::encodeName(path).constData(), 0600); },
       "is a FIFO, not a regular file"},
      {"too large", text(runFileText(sampleRun()) + QByteArray(1024 * 1024, ' ')),
       "more than the 1048576"},
      {"not json", text("{\"version\": 1, "), "it is not JSON"},
      {"array", text("[1]"), "it is not a JSON object"},
      {"newer", text(withField("version", "2")), "newer version of Brellis (run file version 2)"},
      {"version 0", text(withField("version", "0")),
       "\"version\" is not a whole number from 1 to 1"},
      {"port as text", text(withField("port", "\"1\"")), "\"port\" is not a whole number"},
      {"port 0", text(withField("port", "0")), "\"port\" is not a whole number from 1 to 256"},
      {"rate 5", text(withField("updateRate", "5")),
       "\"updateRate\" is not a whole number from 0 to 4"},
      {"rate 1.5", text(withField("updateRate", "1.5")), "\"updateRate\" is not a whole number"},
      {"switch as number", text(withField("ph", "1")), "\"ph\" is not true or false"},
      {"no flow switch", text(withField("flow", "")), "\"flow\" is missing"},
      {"mode", text(withField("logMode", "\"sideways\"")), "\"logMode\" is neither"},
      {"com 0", text(withField("com", "{\"0\": \"/dev/ttyS0\"}")), "\"com\" has a bad entry \"0\""},
      {"com empty", text(withField("com", "{\"2\": \"\"}")), "\"com\" has a bad entry \"2\""},
      {"options", text(withField("options", "[\"--mqtt\", 5]")), "\"options\" holds something"},
      {"time", text(withField("lastRecord", "\"yesterday\"")), "\"lastRecord\" is not a date"},
      {"no log file", text(withField("logFile", "\"\"")), "\"logFile\" is empty while logging"},
  };
  for (const Case &c : cases) {
    QDir(path).removeRecursively();
    QFile::remove(path);
    c.make();
    const QByteArray before = describe(path);
    const RunFileLoad load = loadRunFile(path);
    EXPECT_EQ(load.outcome, RunFileLoad::Outcome::Refused) << c.name;
    EXPECT_TRUE(load.message.startsWith("The run file " + path + " is refused: ")) << c.name;
    EXPECT_TRUE(load.message.contains(QLatin1String(c.why)))
        << c.name << ": " << qPrintable(load.message);
    EXPECT_EQ(describe(path), before) << c.name;
  }
}

TEST(StatePaths, FollowXdgStateHomeUnlessItIsUnsetOrRelative) {
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  const QString home = QDir::homePath() + "/.local/state/brellis/";
  struct Case {
    const char *value; // null: unset
    QString folder;
  };
  const Case cases[] = {
      {"/srv/state", "/srv/state/brellis/"}, {"state", home}, {"", home}, {nullptr, home}};
  for (const Case &c : cases) {
    if (c.value)
      qputenv("XDG_STATE_HOME", c.value);
    else
      qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(defaultRunFilePath(), c.folder + "run.json");
    EXPECT_EQ(defaultEventsJournalPath(), c.folder + "events.csv");
  }
  qputenv("XDG_STATE_HOME", saved);
}

} // namespace
