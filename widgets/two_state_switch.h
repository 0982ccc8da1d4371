#pragma once

#include <QAbstractButton>
#include <QString>

namespace widgets {

// A latching switch: a checkable QAbstractButton whose isChecked() is its value. setChecked() by
// the program emits toggled() exactly as the operator's click does, and text() already shows the
// new face when toggled() is emitted.
class TwoStateSwitch : public QAbstractButton {
  Q_OBJECT
public:
  TwoStateSwitch(const QString &offText, const QString &onText, QWidget *parent = nullptr);

  // text() follows the state: offText while off, onText while on.
  QString offText() const;
  QString onText() const;

  // A square light beside the face: red while off, green while on.
  void setLightVisible(bool visible);
  bool lightVisible() const;

  // The face turns green while the switch is on.
  void setGreenFaceWhenOn(bool green);
  bool greenFaceWhenOn() const;

  // The font a face is drawn in: the widget's font, bold for the on face.
  QFont faceFont(bool on) const;

  // Where the light is drawn (empty without one) and the part of the face the text is centred
  // in, which lies clear of the light.
  QRectF lightRect() const;
  QRectF textArea() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void checkStateSet() override;
  void nextCheckState() override;
  void paintEvent(QPaintEvent *event) override;

private:
  QRectF faceRect() const;
  void showFaceText();

  QString m_offText;
  QString m_onText;
  bool m_lightVisible = false;
  bool m_greenFaceWhenOn = false;
};

} // namespace widgets
