#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QString>

namespace widgets {

// The label that shows a display's reading. Its accessible name and value are its text, and
// nothing else: a blank display reads as empty, never as its caption.
class DisplayLabel : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;
};

// A numeric display: a label inside a small captioned frame. The caption is in a small bold font;
// the label's text is in a condensed bold 18-point font, in the given colour on black. Callers
// write the reading with label()->setText().
//
// What a person reads is what an accessibility client reads: the label is named by its reading,
// and the caption is tied to it as its label (the caption is the label's buddy, which assistive
// technology sees as "labelled by").
class NumericDisplay : public QFrame {
  Q_OBJECT
public:
  NumericDisplay(const QString &caption, const QString &labelObjectName, const QString &initialText,
                 const QColor &color, QWidget *parent = nullptr);

  // objectName() == labelObjectName.
  QLabel *label() const;
  // The caption's label; its buddy() is label().
  QLabel *captionLabel() const;
  QString caption() const;
  QColor color() const;

  // The condensed bold display font: a packaged condensed face where one is installed, otherwise
  // the default face, bold and condensed as far as it can be.
  static QFont displayFont();

private:
  QLabel *m_caption;
  DisplayLabel *m_label;
  QColor m_color;
};

} // namespace widgets
