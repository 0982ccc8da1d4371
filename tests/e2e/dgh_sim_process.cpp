#include "tests/e2e/dgh_sim_process.h"

#include <algorithm>
#include <sched.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>

namespace e2e {

namespace {

// The test reads the simulator's replies against the exchange's 35 ms wait, as the program does.
// On a busy machine a test process that wakes late from that wait sees a reply the module sent
// after it, and a late-reply case then passes for a sound one. Where the system allows it, the
// test runs in the real-time class too, one step below the simulator (which runs at 10), so the
// machine's load decides neither side's timing. Children start in the normal class again.
void keepUpWithTheSimulator() {
  static const bool done = [] {
    sched_param param{};
    param.sched_priority = std::min(5, sched_get_priority_max(SCHED_FIFO));
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
    return true;
  }();
  (void)done;
}

// The simulators alive in this test program, by terminal.
QHash<QString, DghSimProcess *> &simulators() {
  static QHash<QString, DghSimProcess *> all;
  return all;
}

} // namespace

DghSimProcess::DghSimProcess(const QStringList &arguments) {
  keepUpWithTheSimulator();
  // Dies with the test program, so an aborted test leaves no simulator holding a terminal.
  m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  m_process.start(QStringLiteral(DGH_SIM_PATH), arguments);
  if (!m_process.waitForStarted(processWaitMs))
    return;
  m_devicePath = readLine();
  if (!m_devicePath.isEmpty())
    simulators().insert(m_devicePath, this);
}

DghSimProcess::~DghSimProcess() {
  simulators().remove(m_devicePath);
  if (m_process.state() == QProcess::NotRunning)
    return;
  if (!endWith(SIGTERM)) {
    m_process.kill();
    m_process.waitForFinished(processWaitMs);
  }
}

QString DghSimProcess::readLine() {
  const QDeadlineTimer deadline(processWaitMs);
  while (!m_process.canReadLine()) {
    if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
      return QString();
    m_process.waitForReadyRead(int(deadline.remainingTime()));
  }
  return QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

QString DghSimProcess::control(const QString &line) {
  m_process.write(line.toLocal8Bit() + '\n');
  m_process.waitForBytesWritten(processWaitMs);
  return readLine();
}

std::optional<DghSimProcess::LineCounts> DghSimProcess::lineCounts() {
  if (m_process.state() != QProcess::Running)
    return std::nullopt;
  static const QRegularExpression answer(
      QStringLiteral("^ok read (\\d+) wrote (\\d+) quiet (-?\\d+)$"));
  const QRegularExpressionMatch match = answer.match(control(QStringLiteral("line")));
  if (!match.hasMatch())
    return std::nullopt;
  return LineCounts{match.captured(1).toLongLong(), match.captured(2).toLongLong(),
                    match.captured(3).toLongLong()};
}

DghSimProcess *DghSimProcess::serving(const QString &device) {
  const QString terminal = QFileInfo(device).canonicalFilePath();
  return terminal.isEmpty() ? nullptr : simulators().value(terminal, nullptr);
}

bool DghSimProcess::endWith(int signal) {
  if (m_process.state() == QProcess::NotRunning)
    return true;
  ::kill(pid_t(m_process.processId()), signal);
  return m_process.waitForFinished(processWaitMs);
}

tiltdgh::PortDevices portOneAt(const QString &device) {
  tiltdgh::PortDevices devices;
  devices.map(1, device);
  return devices;
}

RealLink::RealLink(const QString &device) : serial(portOneAt(device)) {}

QString RealLink::ask(const QString &address) {
  tiltdgh::SendCommand(link, QLatin1Char('$') + address + QStringLiteral("RD\r"));
  return tiltdgh::ReadResponse(link);
}

} // namespace e2e
