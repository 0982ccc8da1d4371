#include "widgets/list_choice_box.h"

#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>

namespace widgets {

ListChoiceBox::ListChoiceBox(QWidget *parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  // QComboBox looks the field's text up among the entries when editing finishes (Enter, focus
  // out) and when a completion is activated, and chooses the entry found. Those hookups are
  // QComboBox's own connections from its line edit and completer to itself; without them the
  // field's text stays a text. The completer still completes the text for the line edit.
  disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
  disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
  if (QCompleter *completer = lineEdit()->completer())
    disconnect(completer, nullptr, this, nullptr);
  connect(lineEdit(), &QLineEdit::textEdited, this, &ListChoiceBox::onTextEdited);
}

void ListChoiceBox::onTextEdited(const QString &text) {
  if (currentIndex() >= 0) {
    // setCurrentIndex(-1) empties the field; the text, cursor and selection are put back as the
    // operator left them, and only the change of choice is announced.
    QLineEdit *edit = lineEdit();
    const int cursor = edit->cursorPosition();
    const int selectionStart = edit->selectionStart();
    const int selectionLength = edit->selectionLength();
    {
      const QSignalBlocker blockBox(this);
      const QSignalBlocker blockEdit(edit);
      setCurrentIndex(-1);
      edit->setText(text);
      if (selectionStart >= 0 && selectionLength > 0) {
        // setSelection() leaves the cursor at its far end; keep it where it was.
        if (cursor == selectionStart)
          edit->setSelection(selectionStart + selectionLength, -selectionLength);
        else
          edit->setSelection(selectionStart, selectionLength);
      } else {
        edit->setCursorPosition(cursor);
      }
    }
    emit currentIndexChanged(-1);
    emit currentTextChanged(text);
  }
  emit textTyped(text);
}

} // namespace widgets
