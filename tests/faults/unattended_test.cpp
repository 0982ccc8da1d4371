// Left alone with --unattended on the real serial line: a module that falls silent shows no box
// and stops nothing else, its channel comes back by itself once it answers again, and a device
// that goes away and comes back is reopened with the readings going on. Each episode is one
// journal line, not one a retry.
#include "tests/e2e/dgh_sim_process.h"
#include "tests/faults/live_window.h"

#include "acquisition/session.h"
#include "runs/events_journal.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int patience = 40000; // a retry comes 10 s after the failure; the machine may be busy

QStringList journalLines(const QString &path) {
  QStringList lines;
  for (const runs::EventEntry &entry : runs::readEventsJournal(path).entries)
    lines << entry.event + ' ' + entry.detail;
  return lines;
}

TEST(Unattended, FailuresWaitForNobodyAndChannelsAndThePortComeBackByThemselves) {
  QTemporaryDir dir;
  const QString link = dir.filePath(QStringLiteral("ttyDGH"));
  auto sim = std::make_unique<e2e::DghSimProcess>(QStringList{"--link", link});
  ASSERT_FALSE(sim->devicePath().isEmpty());
  console::RunOptions run;
  run.runFilePath = dir.filePath(QStringLiteral("run.json"));
  run.eventsPath = dir.filePath(QStringLiteral("events.csv"));
  run.unattended = true;
  faults::LiveWindow live(link, {}, run);
  ASSERT_TRUE(live.load());
  live.window->runKeeper()->windowShown();
  int phReadings = 0, flowReadings = 0;
  QObject::connect(&live.window->session(), &acquisition::Session::readingStored,
                   [&](const state::Reading &reading) {
                     phReadings += reading.quantity == state::Quantity::Ph1mV;
                     flowReadings += reading.quantity == state::Quantity::FlowHz;
                   });
  live.switchAllOn();
  ASSERT_TRUE(QTest::qWaitFor([&] { return flowReadings > 0; }, patience));

  // The flow module silent for 12 s, past its first retry: no box, the other channels read
  // throughout.
  ASSERT_EQ(sim->control(QStringLiteral("silent 5")), QStringLiteral("ok"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !live.isOn("cwbFlow"); }, patience));
  const int phBefore = phReadings;
  QTest::qWait(12000);
  EXPECT_GT(phReadings, phBefore);
  EXPECT_TRUE(live.messages.shown.empty()) << "no box waits for an OK";
  auto *list = live.window->findChild<QPushButton *>(QStringLiteral("cmdMessages"));
  ASSERT_TRUE(list);
  EXPECT_NE(list->text(), QStringLiteral("Messages: 0"));
  if (const QString folder = qEnvironmentVariable("BRELLIS_SCREENSHOT_DIR"); !folder.isEmpty()) {
    live.window->resize(1100, 820);
    live.window->show();
    list->click();
    QTest::qWait(200);
    live.window->grab().save(folder + "/unattended-window.png");
    if (auto *messages = live.window->findChild<QWidget *>(QStringLiteral("frmMessages")))
      messages->grab().save(folder + "/unattended-messages.png");
  }

  ASSERT_EQ(sim->control(QStringLiteral("clear")), QStringLiteral("ok"));
  const int flowBefore = flowReadings;
  ASSERT_TRUE(QTest::qWaitFor([&] { return live.isOn("cwbFlow") && flowReadings > flowBefore; },
                              patience));

  // The device gone, as a pulled adapter, and back behind the same name.
  ASSERT_TRUE(sim->endWith(SIGKILL));
  sim.reset();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !live.line.portOpen(); }, patience));
  sim = std::make_unique<e2e::DghSimProcess>(QStringList{"--link", link});
  ASSERT_FALSE(sim->devicePath().isEmpty());
  const int phAtReturn = phReadings;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return live.line.portOpen() && live.isOn("cwbPh") && live.isOn("cwbFlow") &&
               live.isOn("cwbTherm") && phReadings > phAtReturn;
      },
      patience));
  EXPECT_TRUE(live.messages.shown.empty());

  const QStringList journal = journalLines(run.eventsPath);
  // Two episodes of the flow channel (the silence, the port gone), each said once whatever the
  // retries in it said again.
  EXPECT_EQ(journal.filter(QStringLiteral("message NO VALID RETURN FROM FLOW MODULE")).size(), 2)
      << journal.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(journal.filter(QStringLiteral("channel_back flow")).size(), 2);
  EXPECT_EQ(journal.filter(QStringLiteral("channel_off flow")).size(), 2); // not one a retry
  EXPECT_TRUE(journal.filter(QStringLiteral("message_answered")).isEmpty()) << "no box waited";
  EXPECT_EQ(journal.filter(QStringLiteral("message Port Failure: Port Not open")).size(), 1);
  EXPECT_EQ(journal.filter(QStringLiteral("port_lost ") + link).size(), 1);
  EXPECT_EQ(journal.filter(QStringLiteral("port_back ") + link).size(), 1);
}

} // namespace
