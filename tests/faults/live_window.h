#pragma once

#include "console/frm_main.h"
#include "instrument/qserial_line.h"
#include "tests/e2e/paced_line.h"
#include "tests/support/recorders.h"
#include "tests/support/state_checks.h"

#include <QMap>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>

namespace faults {

// The real main window on the real serial line and the machine's clock (its waits paced by the
// simulator's side of the line), port 1 being `device`
// (a dgh-sim terminal or a link to one) and further port numbers mapped by `others`. Its boxes
// are answered by the test: messages are recorded, "Commport Setup" takes the queued answers
// (Cancel when none is left).
struct LiveWindow {
  // With `run`, the window keeps its run as the program does (unattended: its messages go to
  // the list, not to `messages`).
  explicit LiveWindow(const QString &device, const QMap<int, QString> &others = {},
                      std::optional<console::RunOptions> run = std::nullopt);
  ~LiveWindow();

  bool load();
  // Turns the flow, pH and thermistor switches on, as the operator does.
  void switchAllOn();
  bool isOn(const char *switchName) const;
  // The texts of the message boxes shown since the last call, in order.
  QStringList takeMessages();

  tiltdgh::QSerialLine line;
  e2e::CountingLine counted{line}; // what the window uses
  e2e::SimulatorPacedClock clock{counted};
  testsupport::RecordingMessages messages;
  std::deque<std::optional<QString>> answers;
  std::unique_ptr<frmMain> window;
};

using testsupport::allFinite; // every number the state holds is finite

// The texts of every label of the window that reads "inf" or "nan" (any case).
QStringList nonNumbersShown(const QWidget &window);

} // namespace faults
