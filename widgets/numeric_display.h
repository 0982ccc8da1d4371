#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

class QLabel;

namespace widgets {

// A numeric display: a label inside a small captioned frame. The caption is in a small bold font;
// the label's text is in a condensed bold 18-point font, in the given colour on black. Callers
// write the reading with label()->setText().
class NumericDisplay : public QFrame {
  Q_OBJECT
public:
  NumericDisplay(const QString &caption, const QString &labelObjectName, const QString &initialText,
                 const QColor &color, QWidget *parent = nullptr);

  // objectName() == labelObjectName, accessibleName() == caption.
  QLabel *label() const;
  QString caption() const;
  QColor color() const;

  // The condensed bold display font: a packaged condensed face where one is installed, otherwise
  // the default face, bold and condensed as far as it can be.
  static QFont displayFont();

private:
  QLabel *m_caption;
  QLabel *m_label;
  QColor m_color;
};

} // namespace widgets
