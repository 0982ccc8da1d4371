#pragma once

#include "common/journal_files.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <limits>

namespace alarms {

// One line of the journal. `quantity` is the catalogue key, or the channel key for a
// no-reading alarm; value and limit are NaN when there is none.
struct JournalEntry {
  qint64 timeMs = 0;
  QString quantity;
  QString event; // raised, acknowledged, returned, shelved, unshelved, limits_changed,
                 // command_failed
  double value = std::numeric_limits<double>::quiet_NaN();
  double limit = std::numeric_limits<double>::quiet_NaN();
  QString user;
};

inline constexpr char journalHeader[] = "time,quantity,event,value,limit,user\n";

// "2026-12-09T03:12:45Z,ph1,raised,8.31,8.2,\n": UTF-8 CSV, numbers with "." decimals.
QByteArray journalLine(const JournalEntry &entry);

// $XDG_STATE_HOME/brellis/alarms.csv, or ~/.local/state/brellis/alarms.csv.
QString defaultJournalPath();

// Appends each entry to the standing journal and, while a log file is written, to the run's
// journal beside it. Each line reaches the operating system in one write before append()
// returns, so a killed program leaves only whole lines, and a line that does not go in whole (a
// full disk) is taken out again. A journal is a file of our own: a link, FIFO or device in its
// place is refused and never written. A file that cannot be written is reported once through
// the failure callback (naming the file and the system's reason); the entries go on to the other
// file, and the failed one is tried again with the next entry.
class AlarmJournal {
public:
  using FailureReport = std::function<void(const QString &message)>;

  explicit AlarmJournal(QString path, FailureReport report = {});
  ~AlarmJournal();

  // The log file being written, or empty when none is: its journal is "<log file>.alarms.csv".
  void setLogFile(const QString &logFilePath);
  QString runJournalPath() const;

  void append(const JournalEntry &entry);

private:
  common::JournalFiles m_files;
};

} // namespace alarms
