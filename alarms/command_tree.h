#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <sys/types.h>

#include <set>
#include <vector>

namespace alarms {

// The processes an alarm command leaves behind, found and ended without a trace. Linux: reads
// /proc; every call is cheap enough for a timer (a few hundred small reads). Windows: the
// command runs in a job object of its own, which holds every process it starts.
//
// A command is marked by a variable in its environment, which every descendant inherits, and it
// runs in a process group of its own. Brellis is made the subreaper of its descendants, so a
// process whose parent ends (a job put in the background, one in a session of its own) comes
// back to Brellis instead of to init, and can be ended and reaped here.

// Makes this process the subreaper of its descendants (PR_SET_CHILD_SUBREAPER; nothing on
// Windows, where the job holds them). Idempotent.
void becomeSubreaper();

// Starts `command` through the system's shell (/bin/sh -c; cmd.exe /c on Windows), in a process
// group of its own. On Windows the process waits, suspended, until its CommandTree takes it.
void startInShell(QProcess &process, const QString &command);

// One command's processes, as far as they have been seen.
class CommandTree {
public:
  // `marker`: the "NAME=value" environment entry of this command only; `process` has just been
  // started by startInShell (or failed to start).
  CommandTree(QByteArray marker, QProcess &process);
  ~CommandTree();
  CommandTree(const CommandTree &) = delete;
  CommandTree &operator=(const CommandTree &) = delete;

  QByteArray marker() const { return m_marker; }
  pid_t group() const { return m_group; }

  // Notes the living descendants of this process that carry the marker, so they are known once
  // they are zombies (a zombie's environment cannot be read). Returns how many live.
  int look();
  // SIGKILLs every living descendant that carries the marker and the command's process group.
  void kill();
  // Reaps the children of this process that belong to the command and have ended (never another
  // child of this process). True once none of the command's processes is left.
  bool reap();

private:
  QByteArray m_marker;
  pid_t m_group;
  std::set<pid_t> m_seen;
  void *m_job = nullptr; // Windows: the job object holding the command's processes
};

} // namespace alarms
