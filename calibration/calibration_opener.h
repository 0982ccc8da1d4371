#pragma once

#include "calibration/frm_cal.h"

#include <QPointer>

namespace calibration {

// What the main window's "pH calibration values" item does: builds frmCal afresh when none is
// open, and only brings the open one to the front otherwise. The state and the message sink must
// outlive the opener; the dialog is a child of `parent` and deletes itself when closed.
class CalibrationOpener {
public:
  CalibrationOpener(AcquisitionState &state, tiltdgh::OperatorMessages &messages,
                    QWidget *parent = nullptr);

  // Shows the dialog without making it modal and returns it.
  frmCal *open();

  // The dialog while it exists, else nullptr.
  frmCal *dialog() const { return m_dialog; }

private:
  AcquisitionState &m_state;
  tiltdgh::OperatorMessages &m_messages;
  QWidget *m_parent;
  QPointer<frmCal> m_dialog;
  // The buffer assistant's choices, kept for the rest of the run.
  AssistantMemory m_assistantMemory;
};

} // namespace calibration
