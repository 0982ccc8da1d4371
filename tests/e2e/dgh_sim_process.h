#pragma once

#include "instrument/clock.h"
#include "instrument/dgh_exchange.h"
#include "instrument/qserial_line.h"
#include "tests/e2e/paced_line.h"
#include "tests/support/recorders.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>
#include <ostream>

// Failed comparisons show the text (carriage returns and line feeds escaped), not QString's
// storage.
inline void PrintTo(const QString &text, std::ostream *out) {
  QString shown = text;
  shown.replace(QLatin1Char('\r'), QLatin1String("\\r"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"));
  *out << '"' << shown.toStdString() << '"';
}

namespace e2e {

// Generous bound for anything the simulator must do (start, answer a control line, end), so a
// loaded machine slows the tests down instead of failing them.
constexpr int processWaitMs = 10000;

// One dgh-sim child process. The constructor starts it and reads the device path it prints;
// the destructor ends it. A simulator never outlives the test program, even one that crashes.
class DghSimProcess {
public:
  explicit DghSimProcess(const QStringList &arguments = {});
  ~DghSimProcess();
  DghSimProcess(const DghSimProcess &) = delete;
  DghSimProcess &operator=(const DghSimProcess &) = delete;

  // The pseudo-terminal's device, empty when the simulator did not start.
  QString devicePath() const { return m_devicePath; }
  QString errorOutput() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

  // Sends one line on the control channel and returns the simulator's answer ("ok" or
  // "error: ..."), or an empty text when none came.
  QString control(const QString &line);

  // Sends `signal` and waits for the end; false when it did not end.
  bool endWith(int signal);
  QProcess &process() { return m_process; }

  // The characters the simulator has read from and written to its terminal since it started,
  // and the milliseconds since it last read one (-1 before the first); nothing when it does not
  // answer.
  struct LineCounts {
    qint64 read = 0;
    qint64 wrote = 0;
    qint64 quietMs = -1;
  };
  std::optional<LineCounts> lineCounts();

  // The simulator of this test program whose terminal is `device` (a link to it is followed),
  // or none.
  static DghSimProcess *serving(const QString &device);

private:
  QString readLine();

  QProcess m_process;
  QString m_devicePath;
};

// The real serial line on port 1 = `device`, with the machine's clock (its waits paced by the
// simulator's side of the line) and recorded messages.
struct RealLink {
  explicit RealLink(const QString &device);

  // One exchange: "$<address>RD" + CR, then the reply as ReadResponse gives it.
  QString ask(const QString &address);

  tiltdgh::QSerialLine serial;
  CountingLine line{serial};
  SimulatorPacedClock clock{line};
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
};

tiltdgh::PortDevices portOneAt(const QString &device);

} // namespace e2e
