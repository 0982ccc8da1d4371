#pragma once

#include <QAbstractSlider>
#include <QString>

namespace widgets {

// A read-only gauge: a value pointer ("Pointer-1") on an axis whose limits can be set one at a
// time, horizontal or vertical, optionally with "min" and "max" markers that follow the lowest and
// highest value set since the last resetMinMax().
//
// The gauge keeps its value and limits as doubles; the QAbstractSlider base holds the same
// numbers in fixed point (unitsPerOne steps per 1.0), clamped to the axis, so that value(),
// valueChanged(int) and accessibility report where the pointer stands. The operator cannot move
// the pointer: keys and the wheel are ignored.
class SlideGauge : public QAbstractSlider {
  Q_OBJECT
public:
  static constexpr int unitsPerOne = 1000;

  explicit SlideGauge(Qt::Orientation orientation, QWidget *parent = nullptr);

  void setAxisRange(double minimum, double maximum);
  void setAxisMinimum(double minimum); // the maximum is unchanged
  void setAxisMaximum(double maximum); // the minimum is unchanged
  double axisMinimum() const;
  double axisMaximum() const;

  // Any finite value, also outside the axis: gaugeValue() keeps it, the pointer stops at the end
  // of the axis. A value that is not a number is ignored (nothing changes).
  void setGaugeValue(double value);
  // Puts the pointer at value without counting it as a reading: the "min" and "max" markers keep
  // following the readings alone (a channel switched off rests its gauge at 0, which no
  // instrument measured).
  void setGaugeValueUntracked(double value);
  double gaugeValue() const;

  void setMinMaxMarkersVisible(bool visible);
  // False after construction and after resetMinMax() until a value is set.
  bool hasMinMax() const;
  // The lowest and highest value set since the last reset; 0 while hasMinMax() is false.
  double minMarker() const;
  double maxMarker() const;
  // The markers start again from the next value set; the value itself is unchanged.
  void resetMinMax();

  void setCaption(const QString &caption); // e.g. "L/min"; also the accessible name
  QString caption() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  void gaugeValueChanged(double value);

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
#if QT_CONFIG(wheelevent)
  void wheelEvent(QWheelEvent *event) override;
#endif

private:
  void syncSliderRange();
  void movePointer(double value);

  double m_axisMinimum = 0.0;
  double m_axisMaximum = 10.0;
  double m_value = 0.0;
  bool m_markersVisible = false;
  bool m_hasMinMax = false;
  double m_min = 0.0;
  double m_max = 0.0;
  QString m_caption;
};

} // namespace widgets
