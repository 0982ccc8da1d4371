#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <map>
#include <optional>
#include <random>
#include <vector>

namespace sim {

// One character sent back by the modules, and the millisecond-clock time at which its last bit
// has arrived (a count that wraps at 2^32, like tiltdgh::MillisecondClock).
struct TimedByte {
  quint32 at;
  char byte;
  // Part of a reply that a late module holds back: its time is the fault itself, and it must
  // not reach the host early. Other characters may be delivered ahead of their time.
  bool held = false;
  // The first character of a burst that the line keeps whole: an echoed character, or a reply.
  bool startsBurst = false;
};

// What can go wrong with one module, for tests and demonstrations. Faults combine.
struct ModuleFault {
  bool silent = false;        // no reply at all (the echo still comes back)
  quint32 lateMs = 0;         // the reply starts this much later than a sound module's
  bool errorReply = false;    // "?" instead of "*" as the start character
  QByteArray garbageBefore;   // sent ahead of the start character
  QByteArray garbageAfter;    // sent behind the carriage return
  bool lineFeedAfter = false; // a line feed behind the carriage return
  bool highBit = false;       // bit 7 set on every character of the reply
};

// Six DGH sensor modules on one RS-232 daisy chain, without any transport: commands go in as
// bytes with the time they were sent, replies come out as bytes with the times they arrive.
// The chain echoes every command character back to the host (as real modules do unless told
// not to), then the addressed module answers "$<addr>RD" with "*" + sign + 8 characters + CR:
//   "6", "7"       pH modules, millivolts near 2577.70 ("*+02577.70")
//   "1", "2", "3"  thermistors, degrees Celsius near room temperature ("*+00021.46")
//   "5"            flow module, hertz near 115 ("*+00115.00")
// Any other command to one of these addresses gets a "?" frame; other addresses stay silent.
// Timing is that of 19200 baud with 10 bits a character plus a few milliseconds of module
// latency, so a sound reply is complete well inside the exchange's 35 ms. A module's reading
// changes at most eight times a second, with slow drift and a little noise from a seeded
// generator: the same seed and the same command times give the same replies.
class DghModules {
public:
  explicit DghModules(quint32 seed = 1);

  // Takes bytes as they leave the host at time `now` (a command may come in pieces) and returns
  // what the chain sends back for each command completed by a carriage return, in time order;
  // the characters of one reply are never split by others.
  std::vector<TimedByte> receive(const QByteArray &bytes, quint32 now);

  // Called with every reply a module composes, whole, before its characters are scheduled.
  void setReplyObserver(std::function<void(const QByteArray &reply)> observer) {
    m_replyObserver = std::move(observer);
  }

  // Forgets a half-received command, as a module does when the line is reopened.
  void resetInput();

  void setEcho(bool on);
  void setFault(char address, const ModuleFault &fault);
  void clearFaults();
  // Holds a module's reading at `value` (no drift, no noise) until cleared with nullopt.
  void pinReading(char address, std::optional<double> value);

  // Duration of one character on the line, in microseconds (10 bits at 19200 baud).
  static constexpr qint64 characterUs = 10 * 1000000 / 19200;
  // Time a module takes from the end of a command to the start of its reply.
  static constexpr qint64 latencyUs = 3000;

private:
  struct Module {
    double base = 0;       // centre of the reading
    double driftAmp = 0;   // amplitude of the slow drift
    double driftSecs = 1;  // period of the drift
    double noise = 0;      // half-width of the noise
    double reading = 0;    // the value being reported
    quint32 updatedAt = 0; // clock time of the last change
    bool everUpdated = false;
    std::optional<double> pinned;
    ModuleFault fault;
  };

  QByteArray replyFor(const QByteArray &command, quint32 at, Module *&module);
  double readingAt(Module &module, quint32 now);
  double uniform(); // in [-1, 1)

  std::map<char, Module> m_modules;
  QByteArray m_partial;
  bool m_echo = true;
  std::mt19937 m_random;
  std::function<void(const QByteArray &)> m_replyObserver;
};

} // namespace sim
