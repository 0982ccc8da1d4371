#pragma once

#include "state/operator_messages.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include <QDialog>
class QListWidget;
class QWidget;

namespace runs {

// The operator's messages when nobody is there to press OK: showMessage returns at once. Each
// message goes to standard error, to the journal callback and, as a "time  text" line, to a
// non-modal list window ("Messages", frmMessages) that show() raises. The list keeps the newest
// maxLines lines; count() is every message since construction.
class MessageList : public QObject, public tiltdgh::OperatorMessages {
  Q_OBJECT
public:
  using Journal = std::function<void(const QString &text, const QString &title)>;
  using Clock = std::function<QDateTime()>;

  static constexpr int maxLines = 10000;

  // `parentWindow` owns the list window; an empty clock is the local time now.
  explicit MessageList(Journal journal = {}, QWidget *parentWindow = nullptr, Clock clock = {});
  ~MessageList() override;

  void showMessage(const QString &text, const QString &title = QString()) override;

  int count() const { return m_count; }
  QDialog *window() const { return m_window; }

  // The line a message takes: "2026-12-09 04:12:45  Title: text", or without "Title: ".
  static QString line(const QDateTime &time, const QString &text, const QString &title);

public slots:
  void show();

signals:
  void countChanged(int count);

private:
  Journal m_journal;
  Clock m_clock;
  QPointer<QDialog> m_window; // null once a parent window has deleted it
  QListWidget *m_list = nullptr;
  int m_count = 0;
};

} // namespace runs
