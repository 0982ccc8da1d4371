#include "calibration/frm_buffer_cal.h"

#include "calibration/fixed_text.h"
#include "common/number_text.h"
#include "state/quantities.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include <cmath>

using calibration::fixedText;

void frmBufferCal::setSettlingTime(int ms) {
  m_settleMs = ms;
  m_lblRule->setText(QStringLiteral("Stable: drift under %1 pH a minute over %2 s")
                         .arg(fixedText(calibration::stablePhPerMinute, 2))
                         .arg(common::generalNumber(ms / 1000.0)));
}

void frmBufferCal::chooseSet(int index) {
  m_memory.bufferSet = index;
  const auto &sets = calibration::commonBufferSets();
  const bool typed = index <= 0 || index > int(sets.size());
  // Other bottles: what was measured in the old set's buffers does not carry over.
  if (m_measurement.measuring() < 0) {
    for (int i = 0; i < 3; ++i)
      if (m_measurement.row(i).measured) {
        m_measurement.clear(i);
        m_controls[i].mv->clear();
        m_controls[i].drift->clear();
        m_controls[i].state->setText(QStringLiteral("not measured"));
        m_controls[i].state->setStyleSheet(QString());
      }
  }
  for (int i = 0; i < 3; ++i) {
    QLineEdit *box = m_controls[i].ph;
    if (!typed) {
      const auto &solutions = sets[index - 1].solutions;
      const bool inSet = i < int(solutions.size());
      box->setText(inSet ? fixedText(solutions[i].nominal, 2) : QString());
      box->setEnabled(inSet);
    } else {
      box->setEnabled(true);
    }
    box->setReadOnly(!typed);
  }
  refreshRows();
  refit();
}

double frmBufferCal::liveMillivolts() const { return m_state.*state::probe(m_probe).mV; }

bool frmBufferCal::tableSet() const {
  const int set = m_cmbBufferSet->currentIndex();
  return set > 0 && set <= int(calibration::commonBufferSets().size());
}

int frmBufferCal::thermistorOfSource() const {
  const int source = m_cmbTempSource->currentIndex();
  if (source >= Thermistor1 && source <= Thermistor3)
    return source - Thermistor1 + 1;
  if (source == Compensating && m_state.thermReadEnabled) {
    const int select = m_state.*state::probe(m_probe).thermSelect;
    return select >= 1 && select <= 3 ? select : 1;
  }
  return 0;
}

QString frmBufferCal::sourceDescription() const {
  if (const int thermistor = thermistorOfSource())
    return QStringLiteral("thermistor T-%1").arg(thermistor);
  return m_cmbTempSource->currentIndex() == Typed ? QStringLiteral("typed here")
                                                  : QStringLiteral("the \"Temp.:\" box");
}

std::optional<double> frmBufferCal::temperatureNow(QString *why) const {
  const int source = m_cmbTempSource->currentIndex();
  std::optional<double> celsius;
  if (const int thermistor = thermistorOfSource()) {
    // The thermistor's reading as the pH channel compensates with it, without the operator's
    // display offset: the fitted coefficients then serve readings taken on the same footing.
    if (!m_state.thermReadEnabled) {
      *why = QStringLiteral("The thermistor channel is off: switch it on in the main window, or "
                            "take the temperature from elsewhere.");
      return std::nullopt;
    }
    const double temps[] = {m_state.therm1Temp, m_state.therm2Temp, m_state.therm3Temp};
    celsius = temps[thermistor - 1];
  } else {
    const QString text = source == Typed ? m_txtBufferTemp->text() : m_hooks.calTempText();
    celsius = common::parseTypedNumber(text);
    if (!celsius) {
      *why = QStringLiteral("The buffer temperature \"%1\" is not a number.").arg(text);
      return std::nullopt;
    }
  }
  if (!(*celsius >= calibration::lowestBufferCelsius &&
        *celsius <= calibration::highestBufferCelsius)) {
    *why = QStringLiteral("The buffer temperature, %1 °C, is outside 0 to 100 °C.")
               .arg(common::generalNumber(*celsius));
    return std::nullopt;
  }
  return celsius;
}

std::optional<double> frmBufferCal::bufferPh(int row, double celsius, QString *why) const {
  const int set = m_cmbBufferSet->currentIndex();
  const auto &sets = calibration::commonBufferSets();
  if (tableSet()) {
    const auto &solutions = sets[set - 1].solutions;
    if (row >= int(solutions.size())) {
      *why = QStringLiteral("The set %1 has no buffer %2.").arg(sets[set - 1].name).arg(row + 1);
      return std::nullopt;
    }
    const calibration::BufferSolution &solution = solutions[row];
    const auto ph = solution.phAt(celsius);
    if (!ph)
      *why = QStringLiteral("The table of buffer %1 (pH %2) covers %3 to %4 °C, not %5 °C: "
                            "choose \"Typed values\" and type its pH.")
                 .arg(row + 1)
                 .arg(fixedText(solution.nominal, 2),
                      common::generalNumber(solution.table.front().first),
                      common::generalNumber(solution.table.back().first),
                      common::generalNumber(celsius));
    return ph;
  }
  const QString text = m_controls[row].ph->text();
  const auto ph = common::parseTypedNumber(text);
  if (!ph)
    *why = text.trimmed().isEmpty()
               ? QStringLiteral("Type the pH of buffer %1.").arg(row + 1)
               : QStringLiteral("The pH of buffer %1, \"%2\", is not a number.")
                     .arg(row + 1)
                     .arg(text);
  return ph;
}

// A table's value stays the one at the temperature the buffer was measured at; a typed pH is the
// operator's to correct.
std::optional<double> frmBufferCal::measuredPh(int row, QString *why) const {
  if (tableSet())
    return m_measurement.row(row).ph;
  return bufferPh(row, m_measurement.row(row).celsius, why);
}

void frmBufferCal::measureOrStop(int row) {
  if (m_measurement.measuring() == row)
    stopMeasuring(QString());
  else
    measure(row);
}

void frmBufferCal::measure(int row) {
  if (m_measurement.measuring() >= 0)
    return;
  showMessage(QString());
  if (!m_state.phReadEnabled) {
    showMessage(QStringLiteral("The pH channel is off: switch on pH reading in the main window, "
                               "then measure."));
    return;
  }
  QString why;
  const auto celsius = temperatureNow(&why);
  if (!celsius || !bufferPh(row, *celsius, &why)) {
    showMessage(why);
    return;
  }
  m_measurement.start(row, m_settleMs, *celsius, thermistorOfSource(), sourceDescription());
  m_sinceStart.start();
  // The focus stays where it was: the clicked button stays enabled, as "Stop".
  for (int i = 0; i < 3; ++i) {
    m_controls[i].measure->setEnabled(i == row);
    m_controls[i].accept->setEnabled(i == row);
  }
  m_controls[row].measure->setText(QStringLiteral("Stop"));
  m_cmbTempSource->setEnabled(false);
  m_cmbBufferSet->setEnabled(false);
  m_txtBufferTemp->setEnabled(false);
  m_controls[row].mv->clear();
  m_controls[row].drift->clear();
  m_controls[row].state->setText(QStringLiteral("measuring…"));
  m_controls[row].state->setStyleSheet(QString());
  refit();
}

void frmBufferCal::tick() {
  if (m_measurement.measuring() >= 0) {
    if (takeSample())
      refreshRows();
    return;
  }
  refreshRows();
}

// Adds the state's present reading to the measurement and updates the row; finishes the
// measurement when it has been stable over a whole settling time. False when it was stopped.
bool frmBufferCal::takeSample() {
  const int row = m_measurement.measuring();
  const calibration::BufferMeasurement::StepResult step = m_measurement.sample(
      m_sinceStart.elapsed(), {m_state.phReadEnabled,
                               liveMillivolts(),
                               m_state.thermReadEnabled,
                               {m_state.therm1Temp, m_state.therm2Temp, m_state.therm3Temp}});
  if (step.step == calibration::BufferMeasurement::Step::Stopped) {
    showStopped(row, step.why);
    return false;
  }
  const calibration::BufferRow &r = m_measurement.row(row);
  RowControls &c = m_controls[row];
  c.mv->setText(fixedText(r.millivolts, 2));
  const auto drift = m_measurement.window().driftMvPerMinute();
  c.drift->setText(drift ? fixedText(*drift, 2) : QStringLiteral("—"));
  if (step.step == calibration::BufferMeasurement::Step::Stable) {
    finish(true);
    return true;
  }
  const qint64 now = m_measurement.window().elapsedMs();
  c.state->setText(QStringLiteral("measuring %1 of %2 s%3")
                       .arg(now / 1000)
                       .arg(m_settleMs / 1000)
                       .arg(now >= m_settleMs ? QStringLiteral(", not stable") : QString()));
  return true;
}

void frmBufferCal::acceptReading(int row) {
  if (row != m_measurement.measuring())
    return;
  // The operator may take the reading before it is stable, but not one of nothing.
  if (!takeSample() || m_measurement.measuring() != row)
    return;
  finish(false);
}

void frmBufferCal::finish(bool stable) {
  const int row = m_measurement.measuring();
  QString why;
  // The table's value at the measured temperature, kept from now on.
  m_measurement.finish(stable, bufferPh(row, m_measurement.row(row).celsius, &why).value_or(NAN));
  endMeasuring(row);
  RowControls &c = m_controls[row];
  c.state->setText(stable ? QStringLiteral("✔ stable") : QStringLiteral("accepted, not stable"));
  c.state->setStyleSheet(stable ? QStringLiteral("color: #006400; font-weight: bold;")
                                : QStringLiteral("color: #a05a00;"));
  refreshRows();
  refit();
}

void frmBufferCal::stopMeasuring(const QString &why) {
  const int row = m_measurement.measuring();
  m_measurement.stop();
  showStopped(row, why);
}

void frmBufferCal::showStopped(int row, const QString &why) {
  endMeasuring(row);
  RowControls &c = m_controls[row];
  c.mv->clear();
  c.drift->clear();
  c.state->setText(QStringLiteral("not measured"));
  c.state->setStyleSheet(QString());
  refit();
  showMessage(why);
}

void frmBufferCal::endMeasuring(int row) {
  m_controls[row].measure->setText(QStringLiteral("Measure"));
  for (RowControls &each : m_controls) {
    each.measure->setEnabled(true);
    each.accept->setEnabled(false);
  }
  m_cmbTempSource->setEnabled(true);
  m_cmbBufferSet->setEnabled(true);
  m_txtBufferTemp->setEnabled(m_cmbTempSource->currentIndex() == Typed);
}

// The live read-outs: the probe's present reading, the source temperature, and each buffer's
// pH at its temperature (the one it was measured at, or the source's while it is not measured).
void frmBufferCal::refreshRows() {
  m_lblLiveMv->setText(
      m_state.phReadEnabled
          ? QStringLiteral("Probe %1 now: %2 mV").arg(m_probe).arg(fixedText(liveMillivolts(), 2))
          : QStringLiteral("Probe %1: the pH channel is off.").arg(m_probe));
  QString why;
  const auto now = temperatureNow(&why);
  m_lblTempNow->setText(now ? QStringLiteral("now %1 °C").arg(fixedText(*now, 2)) : why);
  for (int i = 0; i < 3; ++i) {
    const calibration::BufferRow &row = m_measurement.row(i);
    QString unused;
    std::optional<double> celsius, ph;
    if (row.measured) {
      celsius = row.celsius;
      ph = measuredPh(i, &unused);
    } else if (m_measurement.measuring() != i && now) {
      celsius = now;
      ph = bufferPh(i, *now, &unused);
    }
    m_controls[i].phAt->setText(
        ph ? QStringLiteral("%1 at %2 °C").arg(fixedText(*ph, 3), fixedText(*celsius, 1))
           : QString());
    if (!row.measured && m_measurement.measuring() != i && m_controls[i].state->text().isEmpty())
      m_controls[i].state->setText(QStringLiteral("not measured"));
  }
}
