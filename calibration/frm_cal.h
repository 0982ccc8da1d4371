#pragma once

#include "state/acquisition_state.h"
#include "state/operator_messages.h"

#include <QDialog>
#include <QPointer>

class QButtonGroup;
class QDateEdit;
class QLineEdit;
class frmBufferCal;

// "pH Calibration": views and edits one probe's live calibration values in AcquisitionState and
// saves them to the settings store. Modeless; deletes itself when closed. Every readable edit
// takes effect at once in the live fields, saved or not.
//
// Object names: the probe buttons "Option1_0" (Probe 1) and "Option1_1" (Probe 2), "txtOffset",
// "txtSlope", "txtSerialNum", "txtCalTemp", "DTPicker1", "CWcal_enable", "Command1", and
// "cmdBufferCal" (opens frmBufferCal for the selected probe).
class frmCal : public QDialog {
  Q_OBJECT
public:
  // Loads probe 1 before returning, so the layout's own texts are never shown.
  frmCal(AcquisitionState &state, tiltdgh::OperatorMessages &messages, QWidget *parent = nullptr);

  // 1 or 2: the probe whose button is set, and whose live fields the edits and "Save" go to.
  int selectedProbe() const { return m_selectedProbe; }

private:
  // Shows the probe's stored values and makes them its live values, discarding its edits.
  void loadProbe(int probe);
  void applyOffsetText(const QString &text);
  void applySlopeText(const QString &text);
  void applySerialText(const QString &text);
  void applyDate(const QDate &date);
  void save();
  // Opens the buffer assistant for the selected probe, or brings the open one to the front.
  void openBufferCalibration();

  double &liveOffset();
  double &liveSlope();
  QString &liveSerial();
  QDate &liveDate();

  AcquisitionState &m_state;
  tiltdgh::OperatorMessages &m_messages;
  int m_selectedProbe = 1;

  QButtonGroup *m_probeButtons = nullptr;
  QLineEdit *m_txtOffset = nullptr;
  QLineEdit *m_txtSlope = nullptr;
  QLineEdit *m_txtSerialNum = nullptr;
  QLineEdit *m_txtCalTemp = nullptr;
  QDateEdit *m_DTPicker1 = nullptr;
  QPointer<frmBufferCal> m_bufferCal;
};
