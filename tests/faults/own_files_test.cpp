// The program's own files (the alarm journals, the calibration history and its head, the settings
// store) when something else stands in their place, and when the disk fills under them.
#include "alarms/alarm_journal.h"
#include "calibration/calibration_history.h"
#include "calibration/calibration_store.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

calibration::CalibrationRecord recordOf(double slope) {
  calibration::CalibrationRecord r;
  r.time = QDateTime(QDate(2026, 12, 9), QTime(3, 12, 45), QTimeZone::utc());
  r.user = QStringLiteral("lab");
  r.host = QStringLiteral("bench");
  r.probe = 1;
  r.before = {2.5777, 4.5427, QStringLiteral("180312"), QDate(2001, 1, 1)};
  r.after = {2.5801, slope, QStringLiteral("180312"), QDate(2026, 12, 9)};
  return r;
}

QByteArray bytesOf(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Runs `use` in a child process and returns what it said, or "(hung)" when it has not finished
// within a minute (the child is then killed): a FIFO that blocks cannot block the test.
QString bounded(const std::function<QString()> &use) {
  int out[2];
  if (::pipe(out) != 0)
    return QStringLiteral("(no pipe)");
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    const QByteArray said = use().toUtf8();
    (void)!::write(out[1], said.constData(), size_t(said.size()));
    ::_exit(0);
  }
  ::close(out[1]);
  QByteArray said;
  pollfd wait{out[0], POLLIN, 0};
  bool hung = false;
  for (;;) {
    if (::poll(&wait, 1, 60000) <= 0) {
      hung = true;
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0)
      break;
    said.append(buffer, n);
  }
  ::close(out[0]);
  if (hung)
    ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return hung ? QStringLiteral("(hung)") : QString::fromUtf8(said);
}

struct OddKind {
  const char *name;
  const char *said; // how the refusal names it
  std::function<bool(const QString &path, const QString &other)> plant;
};

const OddKind oddKinds[] = {
    {"FIFO", "is a FIFO, not a regular file",
     [](const QString &path, const QString &) {
       return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
     }},
    {"link to /dev/zero", "is a symbolic link, not a regular file",
     [](const QString &path, const QString &) { return QFile::link("/dev/zero", path); }},
    {"link to another file", "is a symbolic link, not a regular file",
     [](const QString &path, const QString &other) { return QFile::link(other, path); }},
    {"folder", "is a folder, not a regular file",
     [](const QString &path, const QString &) { return QDir().mkpath(path); }},
    {"device", "is a character device, not a regular file",
     [](const QString &path, const QString &) {
       // What /dev/null is: it would take every write without a word.
       return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
     }},
};

struct OwnFile {
  const char *name;
  // Where the file is, under the folder `dir` (made beforehand).
  std::function<QString(const QString &dir)> path;
  // Whatever must exist beside it first (a history for its head).
  std::function<void(const QString &dir)> before;
  // What the program does with it, and what that said: a message, a summary, an error.
  std::function<QString(const QString &dir)> use;
  const char *saidBefore; // what the program's words start with, before the refused path
};

QString history(const QString &dir) { return dir + "/calibration-history.jsonl"; }

QString journalUse(const QString &standing, const QString &log) {
  QString said;
  alarms::AlarmJournal journal(standing, [&](const QString &m) { said += m; });
  journal.setLogFile(log);
  journal.append({0, "ph1", "raised", 9, 8, ""});
  return said;
}

const OwnFile ownFiles[] = {
    {"alarm journal", [](const QString &dir) { return dir + "/alarms.csv"; }, {},
     [](const QString &dir) { return journalUse(dir + "/alarms.csv", {}); },
     "The alarm journal cannot be written: "},
    {"run's alarm journal", [](const QString &dir) { return dir + "/run.csv.alarms.csv"; }, {},
     [](const QString &dir) { return journalUse(dir + "/alarms.csv", dir + "/run.csv"); },
     "The alarm journal cannot be written: "},
    {"history, saved to", history, {},
     [](const QString &dir) { return calibration::appendRecord(history(dir), recordOf(4.5)); },
     ""},
    {"history, checked", history, {},
     [](const QString &dir) { return calibration::checkHistory(history(dir)).summary(); },
     "history cannot be read: "},
    {"head, saved to", [](const QString &dir) { return dir + "/calibration-history.head"; },
     [](const QString &dir) { calibration::appendRecord(history(dir), recordOf(4.5)); },
     [](const QString &dir) { return calibration::appendRecord(history(dir), recordOf(4.4)); },
     ""},
    {"head, checked", [](const QString &dir) { return dir + "/calibration-history.head"; },
     [](const QString &dir) { calibration::appendRecord(history(dir), recordOf(4.5)); },
     [](const QString &dir) { return calibration::checkHistory(history(dir)).summary(); },
     "history altered at record 1: the file that holds the last record's hash cannot be read ("},
    {"settings store",
     [](const QString &dir) { return dir + "/" + calibration::settingsApplication() + ".conf"; },
     {},
     [](const QString &dir) {
       QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
       const QString said = calibration::settingsProblems().join('\n');
       AcquisitionState state;
       calibration::loadCoefficients(state);
       const bool refused = calibration::saveProbeCoefficients(state, 1) == QSettings::AccessError;
       return said + (refused ? "" : " (and it was saved)");
     },
     "The settings file \""},
};

TEST(OwnFiles, AnythingButARegularFileIsRefusedByNameNeverFollowedAndNeverWaitedOn) {
  for (const OwnFile &file : ownFiles) {
    for (const OddKind &kind : oddKinds) {
      SCOPED_TRACE(std::string(file.name) + " as a " + kind.name);
      QTemporaryDir dir;
      const QString other = dir.filePath("precious.txt");
      {
        QFile precious(other);
        ASSERT_TRUE(precious.open(QIODevice::WriteOnly));
        precious.write("precious\n");
      }
      if (file.before)
        file.before(dir.path());
      const QString path = file.path(dir.path());
      QFile::remove(path);
      if (!kind.plant(path, other)) {
        ADD_FAILURE() << "could not make " << kind.name << " at " << path.toStdString();
        continue;
      }
      const QString said = bounded([&] { return file.use(dir.path()); });
      EXPECT_TRUE(said.startsWith(QString::fromUtf8(file.saidBefore)) &&
                  said.contains(path + " " + kind.said))
          << said.toStdString();
      EXPECT_EQ(bytesOf(other), "precious\n") << "written through a link";
    }
  }
}

// A disk that fills: a tmpfs of a few pages where one may be mounted (root with the right to
// mount), else this process's file size limit, which stops a write part-way as a full disk does.
class FullDisk : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                        "size=64k") == 0;
    std::signal(SIGXFSZ, SIG_IGN); // a refused write, not the end of the process
    ::getrlimit(RLIMIT_FSIZE, &m_saved);
  }
  void TearDown() override {
    free();
    if (m_mounted)
      ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
  }
  QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }

  // Grows `file` by `grow` until the next `lineBytes` bytes no longer fit in its last page, so
  // the next append is cut part-way; then fills the disk (or lowers the limit) behind it.
  void fillBehind(const QString &file, qint64 lineBytes, const std::function<void()> &grow) {
    while (QFileInfo(file).size() % 4096 + lineBytes < 4096 - 8)
      grow();
    if (m_mounted) {
      QFile filler(path("filler"));
      ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
      const QByteArray page(4096, 'f');
      while (filler.write(page) == page.size()) {
      }
      m_reason = qt_error_string(ENOSPC);
    } else {
      rlimit lower = m_saved;
      lower.rlim_cur = rlim_t(QFileInfo(file).size() + 8);
      ::setrlimit(RLIMIT_FSIZE, &lower);
      m_reason = qt_error_string(EFBIG);
    }
  }
  void free() {
    QFile::remove(path("filler"));
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
  }

  QTemporaryDir m_dir;
  bool m_mounted = false;
  rlimit m_saved{};
  QString m_reason; // what the system says of the write that did not fit
};

TEST_F(FullDisk, ASaveThatDoesNotFitLeavesTheChainAsItWasAndTheNextSaveContinuesIt) {
  const QString file = path("calibration-history.jsonl");
  double slope = 4.5;
  const auto save = [&] { return calibration::appendRecord(file, recordOf(slope -= 0.001)); };
  ASSERT_EQ(save(), QString());
  const qint64 recordBytes = QFileInfo(file).size();
  fillBehind(file, recordBytes, [&] { ASSERT_EQ(save(), QString()); });
  const QByteArray before = bytesOf(file);
  const int records = int(before.count('\n'));

  EXPECT_EQ(save(), file + ": " + m_reason);
  EXPECT_EQ(bytesOf(file), before) << "a record torn by the full disk";
  EXPECT_EQ(calibration::checkHistory(file).summary(),
            QStringLiteral("history intact (%1 records)").arg(records));

  free();
  ASSERT_EQ(save(), QString());
  EXPECT_EQ(calibration::checkHistory(file).summary(),
            QStringLiteral("history intact (%1 records)").arg(records + 1));
}

TEST_F(FullDisk, AJournalLineThatDoesNotFitIsTakenOutAndItsReasonSaid) {
  const QString file = path("alarms.csv");
  QStringList said;
  alarms::AlarmJournal journal(file, [&](const QString &m) { said << m; });
  qint64 t = 0;
  const auto append = [&] { journal.append({t += 1000, "therm2", "raised", 30.25, 30, "op"}); };
  append();
  fillBehind(file, 48, append);
  const QByteArray before = bytesOf(file);

  append();
  EXPECT_EQ(said, QStringList{"The alarm journal cannot be written: " + file + ": " + m_reason});
  EXPECT_EQ(bytesOf(file), before) << "a line torn by the full disk";

  free();
  append();
  const QByteArray after = bytesOf(file);
  EXPECT_TRUE(after.startsWith(before));
  EXPECT_TRUE(after.mid(before.size()).endsWith(",therm2,raised,30.25,30,op\n"))
      << after.mid(before.size()).toStdString();
  EXPECT_EQ(after.count('\n'), before.count('\n') + 1);
}

} // namespace
