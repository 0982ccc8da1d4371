#pragma once

#include "calibration/buffer_result.h"
#include "calibration/calibration_record.h"
#include "calibration/probe_care_fields.h"
#include "state/acquisition_state.h"
#include "state/operator_messages.h"

#include <QDialog>
#include <QPointer>

#include <optional>

class QButtonGroup;
class QDateEdit;
class QGridLayout;
class QLineEdit;
class frmBufferCal;

// "pH Calibration": views and edits one probe's live calibration values in AcquisitionState and
// saves them to the settings store. Modeless; deletes itself when closed. Every readable edit
// takes effect at once in the live fields, saved or not.
//
// Object names: the probe buttons "Option1_0" (Probe 1) and "Option1_1" (Probe 2), "txtOffset",
// "txtSlope", "txtSerialNum", "txtCalTemp", "DTPicker1", "CWcal_enable", "Command1", and
// "cmdBufferCal" (opens frmBufferCal for the selected probe). Beside them the probe's care
// (calibration::ProbeCareFields: its interval and the limits its condition is judged by),
// "txtCalReason" (kept with the next Save in the calibration history), "txtCondition" and
// "txtUnsaved" (read-only: the probe's condition, and whether its live values differ from the
// stored ones).
//
// "Save" writes nothing while the offset or slope box holds text that does not read as a number
// (the live value keeps the last text that read, which the box no longer shows) and says which
// box; a new offset or slope beyond a refusal limit is saved only once the operator confirms,
// and its history record names the limits passed.
//
// Every Save that writes the store appends a record to the calibration history; a history that
// cannot be written is said in a message and leaves the store written.
class frmCal : public QDialog {
  Q_OBJECT
public:
  // Loads probe 1 before returning, so the layout's own texts are never shown.
  // `memory`, when given, keeps the buffer assistant's choices beyond this dialog's life.
  frmCal(AcquisitionState &state, tiltdgh::OperatorMessages &messages, QWidget *parent = nullptr,
         calibration::AssistantMemory *memory = nullptr);

  // 1 or 2: the probe whose button is set, and whose live fields the edits and "Save" go to.
  int selectedProbe() const { return m_selectedProbe; }

private:
  void addCoefficientFields(QGridLayout *grid);
  void connectEdits();
  // The probe's care beside the coefficients, its condition and unsaved read-outs below them.
  void addCareFields(QGridLayout *grid);
  // Shows the probe's stored values and makes them its live values, discarding its edits.
  void loadProbe(int probe);
  void applyOffsetText(const QString &text);
  void applySlopeText(const QString &text);
  void applySerialText(const QString &text);
  void applyDate(const QDate &date);
  // Writes nothing, and says why, while a box does not read as a number; asks before passing a
  // refusal limit.
  void save();
  // Which box does not read and what it holds, as the message says it; empty when all read.
  QString unreadableBox() const;
  // False when the operator declined to pass a refusal limit; else `overridden` holds the limits
  // passed, empty for none.
  bool confirmLimits(QString *overridden);
  // Appends the record of a Save that wrote the store; says so when it cannot.
  void recordSave(const calibration::ProbeValues &before, const QString &overridden);
  // The condition and unsaved read-outs, after any change of the live or stored values.
  void refreshStatus();
  calibration::ProbeValues liveValues();
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
  QLineEdit *m_txtCalReason = nullptr;
  QLineEdit *m_txtCondition = nullptr;
  QLineEdit *m_txtUnsaved = nullptr;
  calibration::ProbeValues m_stored; // the selected probe's values in the store
  calibration::ProbeValues
      m_previous; // the calibration before the stored one, if the history has it
  // The assistant's last result while the boxes still show it: the next Save records its source.
  std::optional<calibration::BufferResult> m_fromBuffers;
  calibration::ProbeCareFields *m_care = nullptr;
  calibration::AssistantMemory m_ownMemory;
  calibration::AssistantMemory *m_memory;
  QPointer<frmBufferCal> m_bufferCal;
};
