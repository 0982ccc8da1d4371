#pragma once

#include "acquisition/session.h"
#include "console/window_controls.h"
#include "state/operator_messages.h"
#include "state/quantities.h"

#include <QObject>

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

// What a session makes the main window do, recorded in call order as lines: "text <label>
// <text>" for each display written, "gauge <name> <value>" (value to 15 significant digits;
// `gauges` keeps the exact values), "off <switch>" for a channel a failure switched off.
class RecordingSession final {
public:
  explicit RecordingSession(acquisition::Session &session, QStringList *journal = nullptr)
      : m_session(session), m_journal(journal) {
    QObject::connect(&session, &acquisition::Session::readingStored, &m_context,
                     [this](const state::Reading &reading) { shown(reading); });
    QObject::connect(
        &session, &acquisition::Session::channelFailed, &m_context, [this](state::Channel channel) {
          record(QStringLiteral("off ") + QLatin1String(console::controls(channel).switchName));
        });
  }

  QStringList calls;
  std::vector<std::pair<QString, double>> gauges;

private:
  void shown(const state::Reading &reading) {
    const console::QuantityControls &q = console::controls(reading.quantity);
    record(QStringLiteral("text ") + QLatin1String(q.display) + ' ' + reading.text);
    if (q.correctedDisplay)
      record(QStringLiteral("text ") + QLatin1String(q.correctedDisplay) + ' ' +
             reading.correctedText);
    if (q.gauge) {
      const double value = reading.corrected;
      gauges.push_back({QLatin1String(q.gauge), value});
      record(QStringLiteral("gauge ") + QLatin1String(q.gauge) + ' ' +
             QString::number(value, 'g', 15));
    }
  }
  void record(const QString &line) {
    calls.append(line);
    if (m_journal)
      m_journal->append(line);
  }

  acquisition::Session &m_session;
  QStringList *m_journal;
  QObject m_context;
};

} // namespace testsupport
