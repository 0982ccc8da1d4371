#pragma once

#include <QComboBox>

namespace widgets {

// An editable drop-down list whose entry is chosen from the list alone. The operator may type any
// text into its field, but typing never chooses an entry, whatever ends it: Enter, the focus
// leaving the field, or accepting the inline completion. Typing into the text of a chosen entry
// leaves no entry chosen (currentIndex() -1) with the text, the cursor and the selection where
// the operator left them. An entry is chosen with the list (its popup, the arrow keys, the wheel)
// or by setCurrentIndex().
//
// The line edit and the completer are the ones the box makes itself; replacing them brings back
// QComboBox's own matching of typed text to entries.
class ListChoiceBox : public QComboBox {
  Q_OBJECT
public:
  explicit ListChoiceBox(QWidget *parent = nullptr);

signals:
  // The operator changed the field's text (typing, pasting, completing); no entry is chosen when
  // this comes. Choosing an entry and the program's setEditText() do not emit it.
  void textTyped(const QString &text);

private:
  void onTextEdited(const QString &text);
};

} // namespace widgets
