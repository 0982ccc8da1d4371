#pragma once

#include <QAbstractSlider>
#include <QStringList>

namespace widgets {

// A slide with a few discrete positions first .. first + labels.size() - 1, each with an optional
// label (an empty one shows no text). value() is the position; valueChanged(int) comes on every
// change, the program's included. A click or drag puts the thumb on the nearest position; the
// arrow keys step. Vertical selectors have the first position at the bottom, like QSlider, unless
// invertedAppearance() is set.
class PositionSelector : public QAbstractSlider {
  Q_OBJECT
public:
  PositionSelector(int first, const QStringList &labels, Qt::Orientation orientation,
                   QWidget *parent = nullptr);

  QStringList labels() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;

private:
  int positionAt(const QPointF &point) const;
  QPointF pointOf(int position) const;
  QRectF trackRect() const;

  QStringList m_labels;
};

} // namespace widgets
