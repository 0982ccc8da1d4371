// An alarm command's processes on Windows: the command starts suspended, goes into a job object
// of its own before its first instruction runs, and every process it starts joins that job. The
// job is ended whole at the limit, and with Brellis if Brellis ends first (the job is closed).
#include "alarms/command_tree.h"

#include <QVariant>

#include <windows.h>

namespace alarms {
namespace {

// Where the QProcess keeps the new process's handles, for the tree to take it into its job.
constexpr char processInformation[] = "brellisProcessInformation";

} // namespace

void becomeSubreaper() {}

void startInShell(QProcess &process, const QString &command) {
  QProcess *started = &process;
  process.setCreateProcessArgumentsModifier([started](QProcess::CreateProcessArguments *args) {
    args->flags |= CREATE_SUSPENDED;
    started->setProperty(processInformation, quintptr(args->processInformation));
  });
  // cmd.exe takes the rest of its command line as it is: no quoting of ours in between.
  process.setNativeArguments(QStringLiteral("/c ") + command);
  process.start(QStringLiteral("cmd.exe"), {});
}

CommandTree::CommandTree(QByteArray marker, QProcess &process)
    : m_marker(std::move(marker)), m_group(pid_t(process.processId())) {
  const auto *info = reinterpret_cast<const PROCESS_INFORMATION *>(
      process.property(processInformation).value<quintptr>());
  if (m_group == 0 || !info || !info->hProcess)
    return; // never started
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    if (AssignProcessToJobObject(job, info->hProcess))
      m_job = job;
    else
      CloseHandle(job); // the command runs, but only its own process can be killed
  }
  ResumeThread(info->hThread);
}

CommandTree::~CommandTree() {
  if (m_job)
    CloseHandle(HANDLE(m_job));
}

int CommandTree::look() {
  if (!m_job)
    return 0;
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (!QueryInformationJobObject(HANDLE(m_job), JobObjectBasicAccountingInformation, &accounting,
                                 sizeof accounting, nullptr))
    return 0;
  return int(accounting.ActiveProcesses);
}

void CommandTree::kill() {
  if (m_job)
    TerminateJobObject(HANDLE(m_job), 1);
}

// Windows keeps no zombies: the command is gone once its job holds no process.
bool CommandTree::reap() { return look() == 0; }

} // namespace alarms
