#pragma once

#include "channels/channel_panel.h"
#include "state/operator_messages.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

namespace testsupport {

// The operator's message boxes, recorded. When a journal is given, each box is also written to
// it as "message <text>" or "message <text> [<title>]", so its order against other recorded
// calls can be checked. onShow runs while the box would be open.
class RecordingMessages final : public tiltdgh::OperatorMessages {
public:
  struct Shown {
    QString text;
    QString title;
  };

  explicit RecordingMessages(QStringList *journal = nullptr) : m_journal(journal) {}

  void showMessage(const QString &text, const QString &title = QString()) override {
    shown.push_back({text, title});
    if (m_journal)
      m_journal->append(QStringLiteral("message ") + text +
                        (title.isEmpty() ? QString() : QStringLiteral(" [") + title + ']'));
    if (onShow)
      onShow(text, title);
  }

  std::vector<Shown> shown;
  std::function<void(const QString &text, const QString &title)> onShow;

private:
  QStringList *m_journal;
};

// The main window as a channel reader sees it, recorded in call order as lines:
// "text <label> <text>", "gauge <name> <value>" (value to 15 significant digits; `gauges` keeps
// the exact values), "off <switch>".
class RecordingPanel final : public ChannelPanel {
public:
  explicit RecordingPanel(QStringList *journal = nullptr) : m_journal(journal) {}

  void setDisplayText(const QString &label, const QString &text) override {
    record(QStringLiteral("text ") + label + ' ' + text);
  }
  void setGaugeValue(const QString &gauge, double value) override {
    gauges.push_back({gauge, value});
    record(QStringLiteral("gauge ") + gauge + ' ' + QString::number(value, 'g', 15));
  }
  void turnSwitchOff(const QString &switchName) override {
    record(QStringLiteral("off ") + switchName);
  }

  QStringList calls;
  std::vector<std::pair<QString, double>> gauges;

private:
  void record(const QString &line) {
    calls.append(line);
    if (m_journal)
      m_journal->append(line);
  }

  QStringList *m_journal;
};

} // namespace testsupport
