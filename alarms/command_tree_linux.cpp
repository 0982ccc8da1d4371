#include "alarms/command_tree.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <map>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace alarms {
namespace {

struct Process {
  pid_t parent = 0;
  pid_t group = 0;
  char state = '?';
};

// Every process of the system, from /proc/<pid>/stat: "pid (name) state ppid pgrp ...", the name
// possibly holding spaces and parentheses.
std::map<pid_t, Process> processes() {
  std::map<pid_t, Process> all;
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString &entry : entries) {
    bool number = false;
    const pid_t pid = entry.toInt(&number);
    if (!number)
      continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
    if (!stat.open(QIODevice::ReadOnly))
      continue;
    const QByteArray text = stat.read(1024);
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
      continue;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 3)
      continue;
    all[pid] = {pid_t(fields[1].toInt()), pid_t(fields[2].toInt()),
                fields[0].isEmpty() ? '?' : fields[0][0]};
  }
  return all;
}

bool descendsFromUs(pid_t pid, const std::map<pid_t, Process> &all) {
  const pid_t self = ::getpid();
  for (int depth = 0; depth < 4096; ++depth) {
    const auto found = all.find(pid);
    if (found == all.end() || found->second.parent <= 1)
      return false;
    if (found->second.parent == self)
      return true;
    pid = found->second.parent;
  }
  return false;
}

bool carries(pid_t pid, const QByteArray &marker) {
  QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
  if (!environ.open(QIODevice::ReadOnly))
    return false;
  const QByteArray all = '\0' + environ.read(1 << 20);
  return all.contains('\0' + marker + '\0') || all.endsWith('\0' + marker);
}

} // namespace

void becomeSubreaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0); }

void startInShell(QProcess &process, const QString &command) {
  process.setChildProcessModifier([] { ::setpgid(0, 0); });
  process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
}

// The process group is the command's own process (it made itself its leader).
CommandTree::CommandTree(QByteArray marker, QProcess &process)
    : m_marker(std::move(marker)), m_group(pid_t(process.processId())) {}

CommandTree::~CommandTree() = default;

int CommandTree::look() {
  int living = 0;
  const std::map<pid_t, Process> all = processes();
  for (const auto &[pid, process] : all) {
    if (process.state == 'Z' || !descendsFromUs(pid, all))
      continue;
    if (process.group == m_group || carries(pid, m_marker)) {
      m_seen.insert(pid);
      ++living;
    }
  }
  return living;
}

void CommandTree::kill() {
  if (m_group <= 1)
    return; // never started: kill(-0) would be our own group
  ::kill(-m_group, SIGKILL);
  // Looked up afresh, never from what was seen: a number seen before may be another's by now.
  const std::map<pid_t, Process> all = processes();
  for (const auto &[pid, process] : all)
    if (process.state != 'Z' && descendsFromUs(pid, all) &&
        (process.group == m_group || carries(pid, m_marker))) {
      m_seen.insert(pid); // its zombie, no longer marked, is still known as the command's
      ::kill(pid, SIGKILL);
    }
}

bool CommandTree::reap() {
  const pid_t self = ::getpid();
  bool zombies = false;
  for (const auto &[pid, process] : processes()) {
    // The command's own process is its QProcess's to reap.
    if (process.state != 'Z' || process.parent != self || pid == m_group)
      continue;
    if (m_seen.count(pid) || process.group == m_group) {
      ::waitpid(pid, nullptr, WNOHANG);
      zombies = true;
    }
  }
  return look() == 0 && !zombies;
}

} // namespace alarms
