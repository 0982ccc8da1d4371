#include "calibration/calibration_opener.h"

namespace calibration {

CalibrationOpener::CalibrationOpener(AcquisitionState &state, tiltdgh::OperatorMessages &messages,
                                     QWidget *parent)
    : m_state(state), m_messages(messages), m_parent(parent) {}

frmCal *CalibrationOpener::open() {
  if (m_dialog && !m_dialog->isVisible()) {
    // Closed but not yet deleted (deletion waits for the event loop): it counts as closed.
    m_dialog->deleteLater();
    m_dialog = nullptr;
  }
  if (!m_dialog) {
    m_dialog = new frmCal(m_state, m_messages, m_parent, &m_assistantMemory);
    m_dialog->show();
  }
  if (m_dialog->isMinimized())
    m_dialog->showNormal();
  m_dialog->raise();
  m_dialog->activateWindow();
  return m_dialog;
}

} // namespace calibration
