// The serial port as the operator meets it: port numbers with no device behind them, a device
// that another program holds, and a device that goes away while nothing is being read.

#include "tests/e2e/dgh_sim_process.h"
#include "tests/faults/live_window.h"

#include "widgets/two_state_switch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString invalidMsg = QStringLiteral("Invalid ComPort #, please select another one.");
const QString inUseMsg = QStringLiteral("Port is already open, please select another one.");
const QString portMsg = QStringLiteral("Port Not open [Port Failure]");
const QString flowMsg = QStringLiteral("NO VALID RETURN FROM FLOW MODULE");

enum class Hold { Flock, Exclusive };

// A pseudo-terminal whose device another process holds, by flock or by TIOCEXCL, until
// release(); the child ends with the test program at the latest.
class OtherProcessHolds {
public:
  explicit OtherProcessHolds(Hold hold) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
      return;
    m_path = QString::fromLocal8Bit(::ptsname(m_master));
    const QByteArray path = QFile::encodeName(m_path);
    int ready[2];
    int release[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0)
      return;
    m_child = ::fork();
    if (m_child == 0) {
      // Only async-signal-safe calls from here to _exit. Nothing but its own ends of the two
      // pipes stays open, so the release pipe ends when the parent lets go.
      for (int other = 3; other < 1024; ++other) {
        if (other != ready[1] && other != release[0])
          ::close(other);
      }
      const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      const bool held = fd >= 0 && (hold == Hold::Flock ? ::flock(fd, LOCK_EX | LOCK_NB) == 0
                                                        : ::ioctl(fd, TIOCEXCL) == 0);
      const char answer = held ? '1' : '0';
      [[maybe_unused]] ssize_t n = ::write(ready[1], &answer, 1);
      char none;
      n = ::read(release[0], &none, 1); // returns when the parent releases or ends
      if (hold == Hold::Exclusive)
        ::ioctl(fd, TIOCNXCL); // as a program closing the port does
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    char answer = 0;
    m_held = m_child > 0 && ::read(ready[0], &answer, 1) == 1 && answer == '1';
    ::close(ready[0]);
  }
  ~OtherProcessHolds() {
    release();
    if (m_master >= 0)
      ::close(m_master);
  }

  bool held() const { return m_held; }
  QString path() const { return m_path; }
  void release() {
    if (m_release < 0)
      return;
    ::close(m_release);
    m_release = -1;
    if (m_child > 0)
      ::waitpid(m_child, nullptr, 0);
  }

private:
  int m_master = -1;
  int m_release = -1;
  pid_t m_child = -1;
  bool m_held = false;
  QString m_path;
};

// A character device node without hardware behind it: opening it fails with ENXIO ("No such
// device or address"), as a /dev/ttyS node without a UART does. Empty when nodes cannot be made
// here (not root, or a file system mounted nodev).
QString nodeWithoutHardware(const QTemporaryDir &dir) {
  const QString path = dir.filePath(QStringLiteral("ttyNoHardware"));
  struct statvfs fs {};
  if (::statvfs(QFile::encodeName(dir.path()).constData(), &fs) != 0 || (fs.f_flag & ST_NODEV))
    return QString();
  // Major 4 is the serial driver; minor 255 is /dev/ttyS191, a UART no machine has.
  if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(4, 255)) != 0)
    return QString();
  return path;
}

void switchOn(faults::LiveWindow &live, const char *name) {
  live.window->findChild<widgets::TwoStateSwitch *>(QLatin1String(name))->setChecked(true);
}

// Runs the event loop until `ms` have passed or, if given, until `done` holds.
void runEventLoop(int ms, const std::function<bool()> &done = {}) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  QTimer check;
  if (done) {
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
      if (done())
        loop.quit();
    });
    check.start(5);
  }
  loop.exec();
}

double seconds(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

TEST(PortConditions, CommPortTellsAPortWithNoDeviceFromOneAnotherProgramHolds) {
  e2e::DghSimProcess sim;
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString noHardware = nodeWithoutHardware(dir);
  QFile notATerminal(dir.filePath(QStringLiteral("plain-file")));
  ASSERT_TRUE(notATerminal.open(QIODevice::WriteOnly));
  notATerminal.close();
  OtherProcessHolds flocked(Hold::Flock);
  OtherProcessHolds exclusive(Hold::Exclusive);
  ASSERT_TRUE(flocked.held() && exclusive.held());

  faults::LiveWindow live(sim.devicePath(), {{2, dir.filePath(QStringLiteral("no-such-tty"))},
                                             {3, noHardware},
                                             {4, notATerminal.fileName()},
                                             {5, flocked.path()},
                                             {6, exclusive.path()}});
  ASSERT_TRUE(live.load());
  ASSERT_TRUE(live.line.portOpen());

  const struct {
    const char *name;
    const char *answer;
    QString message;
  } rows[] = {
      {"a missing device file", "2", invalidMsg},
      {"a device node without hardware (ENXIO)", "3", invalidMsg},
      {"a file that is not a terminal", "4", invalidMsg},
      {"the lowest 16-bit number", "-32768", invalidMsg},
      {"the highest 16-bit number, which has no device", "32767", invalidMsg},
      {"a device another program has flocked", "5", inUseMsg},
      {"a device another program holds with TIOCEXCL", "6", inUseMsg},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    if (QString(row.answer) == "3" && noHardware.isEmpty())
      continue; // reported as a skip below
    if (QString(row.answer) == "32767" && QFile::exists(QStringLiteral("/dev/ttyS32766")))
      continue; // a machine with that many serial ports opens it
    live.answers = {QString::fromLatin1(row.answer)};
    live.window->commPortCommand();
    EXPECT_EQ(live.takeMessages(), QStringList{row.message});
    EXPECT_FALSE(live.line.portOpen());
  }

  // Once the other programs let go, the same numbers open without a word.
  flocked.release();
  exclusive.release();
  for (const char *answer : {"5", "6", "1"}) {
    SCOPED_TRACE(answer);
    live.answers = {QString::fromLatin1(answer)};
    live.window->commPortCommand();
    EXPECT_EQ(live.takeMessages(), QStringList());
    EXPECT_TRUE(live.line.portOpen());
  }
  if (noHardware.isEmpty())
    GTEST_SKIP() << "device nodes cannot be made here: the ENXIO row did not run";
}

// The terminal's other end disappears while every switch is off and only the event loop runs,
// as when a USB adapter is pulled from an idle program.
TEST(PortConditions, ADeviceGoneWhileIdleIsClosedAndCostsNoProcessor) {
  QTemporaryDir dir;
  const QString link = dir.filePath(QStringLiteral("ttyDGH"));
  auto first = std::make_unique<e2e::DghSimProcess>(QStringList{"--link", link});
  ASSERT_FALSE(first->devicePath().isEmpty());
  faults::LiveWindow live(link);
  ASSERT_TRUE(live.load());
  ASSERT_TRUE(live.line.portOpen());
  runEventLoop(100);

  ASSERT_TRUE(first->endWith(SIGKILL));
  first.reset();
  const double goneAt = seconds(CLOCK_MONOTONIC);
  runEventLoop(1000, [&] { return !live.line.portOpen(); });
  const double closedAfter = seconds(CLOCK_MONOTONIC) - goneAt;
  ASSERT_FALSE(live.line.portOpen()) << "still open a second after the device went away";

  // Resource check, not a speed test: a notifier firing on the dead descriptor keeps a core
  // busy, an idle program uses next to nothing.
  const double cpuBefore = seconds(CLOCK_PROCESS_CPUTIME_ID);
  const double wallBefore = seconds(CLOCK_MONOTONIC);
  runEventLoop(3000);
  const double share =
      (seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) / (seconds(CLOCK_MONOTONIC) - wallBefore);
  std::printf("port closed %.0f ms after the hang-up; processor use over the next 3 s: %.2f %%\n",
              closedAfter * 1000, share * 100);
  EXPECT_LT(share, 0.05);
  EXPECT_EQ(live.takeMessages(), QStringList()) << "the hang-up itself shows no box";

  // The next exchange finds the port closed.
  switchOn(live, "cwbFlow");
  live.window->readTick();
  EXPECT_EQ(live.takeMessages(), (QStringList{portMsg, flowMsg}));

  // The device back behind the same name: "Comm Port" opens it again.
  e2e::DghSimProcess second({"--link", link, "--pin", "5=115"});
  ASSERT_FALSE(second.devicePath().isEmpty());
  live.answers = {QStringLiteral("1")};
  live.window->commPortCommand();
  EXPECT_EQ(live.takeMessages(), QStringList());
  ASSERT_TRUE(live.line.portOpen());
  switchOn(live, "cwbFlow");
  live.window->readTick();
  EXPECT_EQ(live.takeMessages(), QStringList());
  EXPECT_EQ(live.window->state().flowHz, 115);
}
