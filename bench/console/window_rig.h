#pragma once

#include "console/frm_main.h"
#include "instrument/clock.h"
#include "instrument/serial_line.h"
#include "widgets/two_state_switch.h"

#include <QStringList>

#include <memory>

namespace benchrig {

// The operator's boxes, counted instead of shown; a benchmark run with any is not a sound run.
class CountedMessages final : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &) override { texts << text; }
  QStringList texts;
};

// A clock that jumps to the end of each wait: the exchange's 35 ms cost no real time.
class JumpClock final : public tiltdgh::MillisecondClock {
public:
  quint32 now() override { return m_now; }
  void sleepUntilShortlyBefore(quint32 target) override {
    if (qint32(target - m_now) > 0)
      m_now = target;
  }
  void advance(quint32 ms) { m_now += ms; }

private:
  quint32 m_now = 1000;
};

// The real main window loaded on `line`, every channel switched on.
inline std::unique_ptr<frmMain> loadedWindow(tiltdgh::SerialLine &line,
                                             tiltdgh::MillisecondClock &clock,
                                             CountedMessages &messages) {
  FrmMainServices services;
  services.messages = &messages;
  auto window = std::make_unique<frmMain>(line, clock, services);
  if (!window->load())
    return nullptr;
  for (const char *name : {"cwbFlow", "cwbPh", "cwbTherm"})
    window->findChild<widgets::TwoStateSwitch *>(QLatin1String(name))->setChecked(true);
  return window;
}

} // namespace benchrig
