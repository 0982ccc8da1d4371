#include "runs/message_list.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

using namespace runs;

namespace {

// What the calls in `run` wrote to standard error.
template <typename Run> QByteArray standardErrorOf(Run run) {
  QTemporaryFile capture;
  if (!capture.open())
    return "(no capture)";
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(capture.handle(), STDERR_FILENO);
  run();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  capture.seek(0);
  return capture.readAll();
}

TEST(MessageList, MessagesAreListedJournaledAndPrintedWithoutWaiting) {
  QWidget mainWindow;
  std::vector<std::pair<QString, QString>> journaled;
  const QDateTime when(QDate(2026, 12, 9), QTime(4, 12, 45));
  MessageList messages(
      [&](const QString &text, const QString &title) { journaled.emplace_back(text, title); },
      &mainWindow, [&] { return when; });
  QSignalSpy counted(&messages, &MessageList::countChanged);

  const QByteArray printed = standardErrorOf([&] {
    messages.showMessage("No valid return from thermistor 2");
    messages.showMessage("Port Not open", "Comm Port");
  });

  const QStringList lines = {"2026-12-09 04:12:45  No valid return from thermistor 2",
                             "2026-12-09 04:12:45  Comm Port: Port Not open"};
  EXPECT_EQ(printed, (lines.join('\n') + '\n').toLocal8Bit());
  EXPECT_EQ(journaled,
            (std::vector<std::pair<QString, QString>>{{"No valid return from thermistor 2", ""},
                                                      {"Port Not open", "Comm Port"}}));
  EXPECT_EQ(messages.count(), 2);
  ASSERT_EQ(counted.size(), 2);
  EXPECT_EQ(counted[1].at(0).toInt(), 2);

  QDialog *window = mainWindow.findChild<QDialog *>("frmMessages");
  ASSERT_EQ(window, messages.window());
  EXPECT_EQ(window->windowTitle(), "Messages");
  EXPECT_FALSE(window->isVisible()); // a message never pops the list up by itself
  auto *list = window->findChild<QListWidget *>();
  ASSERT_NE(list, nullptr);
  QStringList listed;
  for (int i = 0; i < list->count(); ++i)
    listed << list->item(i)->text();
  EXPECT_EQ(listed, lines);

  messages.show();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());
}

} // namespace
