#pragma once

#include <QDial>
#include <QString>

namespace widgets {

// A knob with its own scale and integer values. setValue() by the program emits valueChanged()
// like the operator's turn. The knob's centre is the widget's centre, so QDial's own mapping of a
// mouse position to a value matches what is painted.
class Knob : public QDial {
  Q_OBJECT
public:
  // caption: "Max." / "Min."; also the accessible name.
  Knob(int minimum, int maximum, const QString &caption, QWidget *parent = nullptr);

  QString caption() const;

  // Room for a scale of a fixed radius with its numbers round it and the caption in the scale's
  // gap; the knob keeps this size (fixed size policy).
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QString m_caption;
};

} // namespace widgets
