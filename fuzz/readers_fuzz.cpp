// The channel readers fed any reply text: one read tick with every channel on (flow, pH "6",
// pH "7", thermistors 1 to 3), each module answering with a part of the input followed by a
// carriage return. Whatever the replies, every number the state holds stays finite, only the
// channels' own messages are shown, a switch goes off only right after its channel's message,
// and nothing shown reads "inf" or "nan".
//
// Input: byte 0 picks the calibration and temperatures (including a slope of 0 and -273.15 C, which
// give no finite pH), byte 1 the compensation thermistors; the rest is split at 0xFF bytes into
// the six replies, in the order the modules are asked.

#include "acquisition/session.h"
#include "fuzz/fuzz_check.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"
#include "tests/support/state_checks.h"

#include <QList>
#include <QSet>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  AcquisitionState state;
  const double slopes[] = {4.5427, 0, -1e-300, 1e308};
  const double temps[] = {25, 0, -273.15, 1e308};
  state.probe1Offset = state.probe2Offset = 2.5777;
  state.probe1Slope = slopes[data[0] & 3];
  state.probe2Slope = slopes[(data[0] >> 2) & 3];
  state.therm1Temp = temps[(data[0] >> 4) & 3];
  state.therm2Temp = temps[(data[0] >> 6) & 3];
  state.therm3Temp = -273.15;
  state.ph1ThermSelect = data[1] % 4;
  state.ph2ThermSelect = (data[1] >> 2) % 4;
  state.ph1Corr = 0.05;
  state.therm1Offset = -1;

  const QList<QByteArray> replies =
      QByteArray(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2)).split('\xFF');

  testsupport::FakeClock clock(1000);
  testsupport::ScriptedLine line(clock);
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  acquisition::Session session(link, state);
  testsupport::RecordingSession panel(session);
  for (int i = 0; i < 6; ++i)
    line.answerNextCommand(i < replies.size() ? replies.at(i) + '\r' : QByteArray(), 10);

  const double sumBefore = state.flowHzSum;
  session.readFlowModule();
  session.readPhModule(QStringLiteral("6"));
  session.readPhModule(QStringLiteral("7"));
  session.readThermistors();

  FUZZ_CHECK(testsupport::allFinite(state));
  FUZZ_CHECK(state.flowHz <= 90000);
  FUZZ_CHECK(state.flowHzSum == sumBefore + state.flowHz);

  const QSet<QString> allowed = {QStringLiteral("NO VALID RETURN FROM FLOW MODULE"),
                                 QStringLiteral("NO VALID RETURN FROM pH MODULE"),
                                 QStringLiteral("No valid return from thermistor 1"),
                                 QStringLiteral("No valid return from thermistor 2"),
                                 QStringLiteral("No valid return from thermistor 3")};
  for (const auto &shown : messages.shown) {
    FUZZ_CHECK(allowed.contains(shown.text));
    FUZZ_CHECK(shown.title.isEmpty());
  }
  int switchesOff = 0;
  for (const QString &call : panel.calls) {
    FUZZ_CHECK(!call.contains(QLatin1String("inf"), Qt::CaseInsensitive));
    FUZZ_CHECK(!call.contains(QLatin1String("nan"), Qt::CaseInsensitive));
    switchesOff += call.startsWith(QLatin1String("off "));
  }
  // Every switch turned off follows a message; thermistors 1 and 2 show one without it.
  FUZZ_CHECK(switchesOff <= int(messages.shown.size()));
  FUZZ_CHECK(int(messages.shown.size()) <= 6);
  FUZZ_CHECK(line.written().size() <= 6);
  return 0;
}
