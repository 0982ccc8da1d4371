#include "runs/message_list.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace runs {

MessageList::MessageList(Journal journal, QWidget *parentWindow, Clock clock)
    : m_journal(std::move(journal)), m_clock(std::move(clock)) {
  if (!m_clock)
    m_clock = [] { return QDateTime::currentDateTime(); };
  m_window = new QDialog(parentWindow);
  m_window->setObjectName(QStringLiteral("frmMessages"));
  m_window->setWindowTitle(QStringLiteral("Messages"));
  m_window->setModal(false);
  m_list = new QListWidget(m_window);
  m_list->setObjectName(QStringLiteral("lstMessages"));
  m_list->setAccessibleName(QStringLiteral("Messages"));
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_window);
  connect(buttons, &QDialogButtonBox::rejected, m_window, &QDialog::hide);
  auto *layout = new QVBoxLayout(m_window);
  layout->addWidget(m_list);
  layout->addWidget(buttons);
  m_window->resize(560, 320);
}

// A parent window deletes the list window with itself; without one, it is ours to delete.
MessageList::~MessageList() {
  if (m_window && !m_window->parent())
    delete m_window;
}

QString MessageList::line(const QDateTime &time, const QString &text, const QString &title) {
  const QString stamp = time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
  return title.isEmpty() ? stamp + QStringLiteral("  ") + text
                         : stamp + QStringLiteral("  ") + title + QStringLiteral(": ") + text;
}

void MessageList::showMessage(const QString &text, const QString &title) {
  const QString entry = line(m_clock(), text, title);
  std::fputs(entry.toLocal8Bit().append('\n').constData(), stderr);
  std::fflush(stderr);
  if (m_journal)
    m_journal(text, title);
  if (m_window) {
    m_list->addItem(entry);
    while (m_list->count() > maxLines)
      delete m_list->takeItem(0);
    m_list->scrollToBottom();
  }
  emit countChanged(++m_count);
}

void MessageList::show() {
  if (!m_window)
    return;
  m_window->show();
  m_window->raise();
  m_window->activateWindow();
}

} // namespace runs
