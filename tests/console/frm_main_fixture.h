#pragma once

#include "console/frm_main.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"
#include "tests/support/scripted_line.h"

#include <QLabel>
#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>

// The real main window over a scripted line and a fake clock, with its message boxes and input
// boxes answered by the test.
class FrmMainFixture : public ::testing::Test {
protected:
  void SetUp() override {
    line.setOpen(false); // load() opens it
    window = std::make_unique<frmMain>(line, clock, services());
    ASSERT_TRUE(window->load());
  }

  FrmMainServices services() {
    FrmMainServices s;
    s.messages = &messages;
    s.askText = [this](const QString &prompt, const QString &title) -> std::optional<QString> {
      asked.append(title + QStringLiteral(": ") + prompt);
      portOpenWhenAsked = line.portOpen();
      if (answers.empty())
        return std::nullopt;
      // Taken apart rather than copied whole: GCC 12 takes the copied optional's string for one
      // that may be used uninitialized (-Wmaybe-uninitialized).
      const bool cancelled = !answers.front().has_value();
      const QString answer = answers.front().value_or(QString());
      answers.pop_front();
      if (cancelled)
        return std::nullopt;
      return answer;
    };
    return s;
  }

  template <typename T> T *find(const QString &name) const {
    T *widget = window->findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }

  QString text(const QString &label) const {
    QLabel *display = find<QLabel>(label);
    return display ? display->text() : QStringLiteral("<missing>");
  }
  AcquisitionState &state() { return window->state(); }

  testsupport::FakeClock clock{1000};
  testsupport::ScriptedLine line{clock};
  testsupport::RecordingMessages messages;
  std::deque<std::optional<QString>> answers; // nullopt stands for Cancel
  QStringList asked;
  bool portOpenWhenAsked = true;
  std::unique_ptr<frmMain> window;
};
