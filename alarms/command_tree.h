#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <set>
#include <vector>

namespace alarms {

// The processes an alarm command leaves behind, found and ended without a trace. Linux: reads
// /proc; every call is cheap enough for a timer (a few hundred small reads).
//
// A command is marked by a variable in its environment, which every descendant inherits, and it
// runs in a process group of its own. Brellis is made the subreaper of its descendants, so a
// process whose parent ends (a job put in the background, one in a session of its own) comes
// back to Brellis instead of to init, and can be ended and reaped here.

// Makes this process the subreaper of its descendants (PR_SET_CHILD_SUBREAPER). Idempotent.
void becomeSubreaper();

// One command's processes, as far as they have been seen.
class CommandTree {
public:
  // `marker`: the "NAME=value" environment entry of this command only.
  CommandTree(QByteArray marker, pid_t group) : m_marker(std::move(marker)), m_group(group) {}

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
};

} // namespace alarms
