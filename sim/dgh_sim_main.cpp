// dgh-sim: the six simulated DGH modules behind a pseudo-terminal, so that the program (or any
// terminal tool) can poll them through a real serial device.

#include "sim/dgh_modules.h"
#include "sim/line_queue.h"
#include "sim/real_time.h"
#include "sim/sim_settings.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr const char *usageText =
    R"(Usage: dgh-sim [options]

Opens a pseudo-terminal and answers on it as six DGH modules on one RS-232 line do: pH modules
at addresses 6 and 7, thermistors at 1, 2 and 3, a flow module at 5. Each character is sent at
the time it would arrive at 19200 baud, and the chain echoes every command character. The
device path of the terminal is printed on standard output as the first line.

Options (fault options may be repeated; faults on one address combine):
  --link PATH             also make PATH a symbolic link to the device (an old symbolic link
                          there is replaced); removed again at a clean exit
  --silent ADDR           the module does not answer (the echo still comes back)
  --late ADDR=MS          the module answers MS milliseconds later than a sound one
  --error-reply ADDR      the module answers with "?" instead of "*"
  --garbage-before ADDR=TEXT  TEXT is sent ahead of the reply
  --garbage-after ADDR=TEXT   TEXT is sent behind the reply's carriage return
  --line-feed ADDR        a line feed follows the reply's carriage return
  --high-bit ADDR         bit 7 is set on every character of the reply
  --pin ADDR=VALUE        the module reports VALUE exactly (no drift, no noise)
  --no-echo               the chain does not echo commands
  --seed N                seed of the readings' noise (default 1)
  --write-log PATH        record in PATH every reply a module composes ("F " and the reply in
                          hexadecimal, one a line) and every run of characters written to the
                          terminal ("W " and the characters in hexadecimal), in order
  --help                  this text

Control on standard input, one command a line, taking effect before any later command on the
serial line; each line is answered on standard output with "ok" or "error: <reason>":
  silent ADDR | late ADDR=MS | error-reply ADDR | garbage-before ADDR=TEXT |
  garbage-after ADDR=TEXT | line-feed ADDR | high-bit ADDR | pin ADDR=VALUE |
  echo on | echo off | clear      (clear removes every fault and pin)
  line        answered "ok read R wrote W quiet T": the characters read from and written to the
              terminal since the start, and the milliseconds since the last one was read

Ends cleanly on SIGTERM, SIGINT or SIGHUP. The device stays usable while the other end closes
and opens it again.

Timing: the echo and a sound module's reply go into the terminal at once when a command is
complete, so that a busy machine cannot make them late; only a late module's reply is sent
character by character at the line's pace, at the times the fault says. Where the system allows
it (root, or a real-time priority limit) the simulator also runs with a real-time priority and
locked in memory.
)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

// Milliseconds since the program started; the modules see the low 32 bits, as a host's
// millisecond clock that wraps.
class Clock {
public:
  qint64 nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_start)
        .count();
  }
  // Time left until `ms`, for the poll timeout; zero when it has passed.
  timespec until(qint64 ms) const {
    const auto deadline = m_start + std::chrono::milliseconds(ms);
    const auto left = deadline - std::chrono::steady_clock::now();
    const qint64 ns =
        std::max<qint64>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    return timespec{time_t(ns / 1000000000), long(ns % 1000000000)};
  }

private:
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

using sim::Settings;

struct Options {
  Settings settings;
  quint32 seed = 1;
  QByteArray linkPath;
  QByteArray writeLogPath;
};

// Returns the options, or nullopt after printing why they are not usable (or the help text).
std::optional<Options> parseOptions(int argc, char **argv, int &exitCode) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg = argv[i];
    const auto needArgument = [&](QByteArray &out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "dgh-sim: %s needs an argument\n", arg.constData());
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(usageText, stdout);
      exitCode = 0;
      return std::nullopt;
    }
    exitCode = 2;
    if (arg == "--no-echo") {
      options.settings.echo = false;
    } else if (arg == "--seed") {
      QByteArray value;
      if (!needArgument(value))
        return std::nullopt;
      bool ok = false;
      options.seed = value.toUInt(&ok);
      if (!ok) {
        std::fprintf(stderr, "dgh-sim: --seed needs a whole number\n");
        return std::nullopt;
      }
    } else if (arg == "--link") {
      if (!needArgument(options.linkPath))
        return std::nullopt;
    } else if (arg == "--write-log") {
      if (!needArgument(options.writeLogPath))
        return std::nullopt;
    } else if (arg.startsWith("--")) {
      QByteArray value;
      if (!needArgument(value))
        return std::nullopt;
      const std::string error = sim::applySetting(options.settings, arg.mid(2), value);
      if (!error.empty()) {
        std::fprintf(stderr, "dgh-sim: %s\n", error.c_str());
        return std::nullopt;
      }
    } else {
      std::fprintf(stderr, "dgh-sim: unexpected argument \"%s\" (see --help)\n", arg.constData());
      return std::nullopt;
    }
  }
  return options;
}

// The master side of a new pseudo-terminal, and its slave held open by this program: while some
// descriptor holds the slave, the master never reports a hang-up, so the other end may close and
// reopen the device as often as it likes. The slave is in raw mode: no echo, no translation of
// carriage returns, no line editing by the terminal layer.
struct Terminal {
  int master = -1;
  int slave = -1;
  std::string slavePath;
};

std::optional<Terminal> openTerminal() {
  Terminal t;
  t.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) {
    std::perror("dgh-sim: pseudo-terminal");
    return std::nullopt;
  }
  const char *name = ptsname(t.master);
  if (!name) {
    std::perror("dgh-sim: ptsname");
    return std::nullopt;
  }
  t.slavePath = name;
  t.slave = ::open(name, O_RDWR | O_NOCTTY);
  if (t.slave < 0) {
    std::perror("dgh-sim: opening the slave");
    return std::nullopt;
  }
  termios tio{};
  if (tcgetattr(t.slave, &tio) != 0) {
    std::perror("dgh-sim: tcgetattr");
    return std::nullopt;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  if (tcsetattr(t.slave, TCSANOW, &tio) != 0) {
    std::perror("dgh-sim: tcsetattr");
    return std::nullopt;
  }
  fcntl(t.master, F_SETFL, fcntl(t.master, F_GETFL) | O_NONBLOCK);
  return t;
}

// Makes `link` a symbolic link to `target`. An existing symbolic link (left by a simulator that
// was killed) is replaced; anything else at that path is left alone and is an error.
bool makeLink(const QByteArray &link, const std::string &target) {
  struct stat st {};
  if (lstat(link.constData(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::fprintf(stderr, "dgh-sim: %s exists and is not a symbolic link\n", link.constData());
      return false;
    }
    ::unlink(link.constData());
  }
  if (::symlink(target.c_str(), link.constData()) != 0) {
    std::fprintf(stderr, "dgh-sim: cannot link %s: %s\n", link.constData(), std::strerror(errno));
    return false;
  }
  return true;
}

// Removes the link only if it still points at our device; another simulator may have taken the
// path over since.
void removeLink(const QByteArray &link, const std::string &target) {
  char buffer[4096];
  const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer - 1);
  if (n >= 0 && std::string(buffer, size_t(n)) == target)
    ::unlink(link.constData());
}

void reply(const std::string &error) {
  if (error.empty())
    std::fputs("ok\n", stdout);
  else
    std::fprintf(stdout, "error: %s\n", error.c_str());
  std::fflush(stdout);
}

// What the simulator composed and wrote, for checking what arrives at the other end against it.
class WriteLog {
public:
  bool open(const QByteArray &path) {
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
      std::fprintf(stderr, "dgh-sim: cannot write %s: %s\n", path.constData(), std::strerror(errno));
    return m_fd >= 0;
  }
  ~WriteLog() {
    if (m_fd >= 0)
      ::close(m_fd);
  }
  void record(char kind, const QByteArray &bytes) {
    if (m_fd < 0 || bytes.isEmpty())
      return;
    const QByteArray line = QByteArray(1, kind) + ' ' + bytes.toHex() + '\n';
    for (qsizetype done = 0; done < line.size();) {
      const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return;
      done += n;
    }
  }

private:
  int m_fd = -1;
};

class Simulator {
public:
  Simulator(Terminal terminal, Options options, WriteLog &log)
      : m_terminal(std::move(terminal)), m_settings(std::move(options.settings)),
        m_modules(options.seed), m_log(log) {
    sim::applyToModules(m_settings, m_modules);
    m_modules.setReplyObserver([this](const QByteArray &reply) { m_log.record('F', reply); });
  }

  // Runs until a stop signal; those signals must be blocked by the caller, they are let through
  // only while waiting.
  int run(const sigset_t &waitMask) {
    bool stdinOpen = true;
    while (!stopRequested) {
      pollfd fds[2] = {{m_terminal.master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
      const nfds_t count = stdinOpen ? 2 : 1;
      timespec timeout{};
      const timespec *timeoutPtr = nullptr;
      if (!m_pending.empty()) {
        const qint64 now = m_clock.nowMs();
        timeout = m_clock.until(now + qint32(m_pending.at(0).at - quint32(now)));
        timeoutPtr = &timeout;
      }
      const int ready = ppoll(fds, count, timeoutPtr, &waitMask);
      if (ready < 0) {
        if (errno == EINTR)
          continue;
        std::perror("dgh-sim: poll");
        return 1;
      }
      // Control lines first: one written before a command reached the line applies to it.
      if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
        stdinOpen = readControl();
      if (fds[0].revents & POLLIN)
        readCommands();
      else if (fds[0].revents & (POLLHUP | POLLERR))
        ::usleep(10000); // not expected while the slave is held; never spin on it
      sendDue();
    }
    return 0;
  }

private:
  bool readControl() {
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
      return true;
    if (n <= 0)
      return false; // no controller: run on as configured
    m_controlInput.append(buffer, n);
    qsizetype end;
    while ((end = m_controlInput.indexOf('\n')) >= 0) {
      const QByteArray line = m_controlInput.left(end).trimmed();
      m_controlInput.remove(0, end + 1);
      if (line.isEmpty())
        continue;
      if (line == "line") {
        reportLine();
        continue;
      }
      const std::string error = sim::applyControlLine(m_settings, line);
      if (error.empty())
        sim::applyToModules(m_settings, m_modules);
      reply(error);
    }
    return true;
  }

  // How far the line has got, for a test bench that paces its waits by the simulator's view of
  // the line rather than by its own wall clock.
  void reportLine() {
    const qint64 quiet = m_readCount == 0 ? -1 : m_clock.nowMs() - m_lastReadMs;
    std::fprintf(stdout, "ok read %lld wrote %lld quiet %lld\n", m_readCount, m_writeCount,
                 quiet);
    std::fflush(stdout);
  }

  void readCommands() {
    char buffer[512];
    for (;;) {
      const ssize_t n = ::read(m_terminal.master, buffer, sizeof buffer);
      if (n <= 0)
        return;
      m_readCount += n;
      m_lastReadMs = m_clock.nowMs();
      m_pending.add(m_modules.receive(QByteArray(buffer, n), quint32(m_clock.nowMs())));
    }
  }

  // Writes the characters that are due, and behind them every one that need not wait for its
  // time: the echo and a sound reply go out as soon as nothing held back comes before them.
  void sendDue() {
    const quint32 now = quint32(m_clock.nowMs());
    QByteArray due;
    while (!m_pending.empty() &&
           (qint32(now - m_pending.at(0).at) >= 0 || !m_pending.at(0).held))
      due += m_pending.takeFront().byte;
    writeOut(due);
  }

  void writeOut(const QByteArray &bytes) {
    // A full terminal buffer (nobody reading the device) loses the characters, as a line with
    // no listener does.
    qsizetype written = 0;
    while (written < bytes.size()) {
      const ssize_t n =
          ::write(m_terminal.master, bytes.constData() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      m_log.record('W', bytes.mid(written, n));
      written += n;
      m_writeCount += n;
    }
  }

  Terminal m_terminal;
  Settings m_settings;
  sim::DghModules m_modules;
  WriteLog &m_log;
  Clock m_clock;
  // Characters still to send, in the line's order, with the times (the modules' clock: the low
  // 32 bits of program milliseconds) they are due; a held one never goes before its time.
  sim::LineQueue m_pending;
  QByteArray m_controlInput;
  long long m_readCount = 0;
  long long m_writeCount = 0;
  qint64 m_lastReadMs = 0;
};

} // namespace

int main(int argc, char **argv) {
  int exitCode = 0;
  std::optional<Options> options = parseOptions(argc, argv, exitCode);
  if (!options)
    return exitCode;

  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP})
    sigaction(sig, &action, nullptr);

  WriteLog log;
  if (!options->writeLogPath.isEmpty() && !log.open(options->writeLogPath))
    return 1;
  sim::preferRealTime();
  std::optional<Terminal> terminal = openTerminal();
  if (!terminal)
    return 1;
  const std::string slavePath = terminal->slavePath;
  if (!options->linkPath.isEmpty() && !makeLink(options->linkPath, slavePath))
    return 1;
  std::fprintf(stdout, "%s\n", slavePath.c_str());
  std::fflush(stdout);

  const QByteArray linkPath = options->linkPath;
  const int result = Simulator(std::move(*terminal), std::move(*options), log).run(waitMask);
  if (!linkPath.isEmpty())
    removeLink(linkPath, slavePath);
  return result;
}
