// The buffer assistant's result: the fit over the measured buffers, its checks, and "Apply".
#include "calibration/frm_buffer_cal.h"

#include "calibration/fixed_text.h"
#include "calibration/limit_question.h"
#include "common/number_text.h"

#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <cmath>

namespace {

using calibration::fixedText;

// Above these the result is shown with a warning; it can still be applied.
constexpr double slopeWarningShare = 0.10;
constexpr double residualWarningPh = 0.05;
// Digits kept of a fitted offset (volts) and slope: finer than the modules' 0.01 mV resolution,
// and short enough to read in the calibration dialog's boxes.
constexpr int offsetPlaces = 6;
constexpr int slopePlaces = 5;

} // namespace

void frmBufferCal::refit() {
  m_fit.reset();
  m_condition.reset();
  m_cmdApply->setEnabled(false);
  m_lblFit->clear();
  m_lblFitTemp->clear();
  m_lblCondition->clear();
  m_lblWarning->clear();
  if (m_measurement.measuring() >= 0)
    return;
  std::vector<calibration::BufferReading> readings;
  std::vector<int> rowOf;
  QStringList temperatures;
  for (int i = 0; i < 3; ++i) {
    const calibration::BufferRow &row = m_measurement.row(i);
    if (!row.measured)
      continue;
    QString why;
    const auto ph = measuredPh(i, &why);
    if (!ph) {
      showMessage(why);
      return;
    }
    readings.push_back({*ph, row.celsius, row.millivolts});
    rowOf.push_back(i);
    temperatures << QStringLiteral("%1 °C (%2)").arg(fixedText(row.celsius, 1), row.source);
  }
  if (readings.size() < 2) {
    m_lblFit->setText(QStringLiteral("Measure at least two buffers."));
    return;
  }
  const calibration::BufferFitResult result = calibration::fitBuffers(readings);
  if (!result.fit) {
    showFitProblem(result, rowOf, readings);
    return;
  }
  const calibration::BufferFit fit = *result.fit;
  m_lblFit->setText(QStringLiteral("Offset %1 V    Slope %2    Worst residual %3 pH")
                        .arg(common::generalNumber(common::roundHalfEven(fit.offset, offsetPlaces)),
                             common::generalNumber(common::roundHalfEven(fit.slope, slopePlaces)),
                             fixedText(fit.worstResidualPh, 3)));
  m_lblFitTemp->setText(QStringLiteral("Buffers at ") + temperatures.join(QStringLiteral(", ")));
  if (const auto refused = calibration::implausibleSlope(fit.slope, m_presentSlope)) {
    showMessage(*refused);
    return;
  }
  showMessage(QString());
  m_fit = fit;
  showFitWarnings(fit);
  showCondition();
  m_cmdApply->setEnabled(true);
}

void frmBufferCal::showFitWarnings(const calibration::BufferFit &fit) {
  QStringList warnings;
  if (!(std::abs(fit.slope - m_presentSlope) <= slopeWarningShare * std::abs(m_presentSlope)))
    warnings << QStringLiteral("The slope differs from the probe's present slope, %1, by more than "
                               "10 %.")
                    .arg(common::generalNumber(m_presentSlope));
  if (fit.worstResidualPh > residualWarningPh)
    warnings << QStringLiteral("A buffer lies %1 pH from the fitted line, more than 0.05 pH: check "
                               "the buffers and the probe.")
                    .arg(fixedText(fit.worstResidualPh, 3));
  m_lblWarning->setText(warnings.join(QLatin1Char('\n')));
}

void frmBufferCal::showFitProblem(const calibration::BufferFitResult &result,
                                  const std::vector<int> &rowOf,
                                  const std::vector<calibration::BufferReading> &readings) {
  // The message names buffers by their rows, not by their place among the measured ones.
  calibration::BufferFitResult named = result;
  std::vector<calibration::BufferReading> byRow(3);
  for (std::size_t k = 0; k < readings.size(); ++k)
    byRow[rowOf[k]] = readings[k];
  named.first = result.first >= 0 ? rowOf[result.first] : -1;
  named.second = result.second >= 0 ? rowOf[result.second] : -1;
  showMessage(calibration::bufferFitMessage(named, byRow));
}

void frmBufferCal::showCondition() {
  // The limits as stored now: the calibration dialog may have changed them since this opened.
  m_condition =
      calibration::judgeCondition(m_fit->offset, m_fit->slope, m_presentOffset, m_presentSlope,
                                  calibration::readProbeCare(m_probe).limits);
  QString text = m_condition->summary();
  if (!m_condition->reasons.isEmpty())
    text += QStringLiteral(": ") + m_condition->reasons.join(QStringLiteral("; "));
  if (m_condition->verdict == calibration::Verdict::Refuse)
    text += QStringLiteral(". \"Apply\" asks you to confirm.");
  m_lblCondition->setText(text);
  m_lblCondition->setStyleSheet(m_condition->verdict == calibration::Verdict::Good
                                    ? QString()
                                    : QStringLiteral("color: #a05a00;"));
}

void frmBufferCal::apply() {
  refit();
  if (!m_fit)
    return;
  calibration::BufferResult result;
  if (m_condition && m_condition->verdict == calibration::Verdict::Refuse) {
    const QString reasons = m_condition->reasons.join(QStringLiteral("; "));
    if (!calibration::confirmPassingLimits(this, QStringLiteral("This result is"), reasons,
                                           QStringLiteral("Apply it"), QMessageBox::Apply))
      return;
    result.overridden = reasons;
  }
  result.offset = common::generalNumber(common::roundHalfEven(m_fit->offset, offsetPlaces));
  result.slope = common::generalNumber(common::roundHalfEven(m_fit->slope, slopePlaces));
  result.worstResidualPh = m_fit->worstResidualPh;
  QStringList sources;
  for (int i = 0; i < 3; ++i) {
    const calibration::BufferRow &row = m_measurement.row(i);
    if (!row.measured)
      continue;
    QString unused;
    result.buffers.push_back(
        {measuredPh(i, &unused).value_or(NAN), row.celsius, row.millivolts, row.stable});
    if (!sources.contains(row.source))
      sources << row.source;
  }
  result.temperatureSource = sources.join(QStringLiteral(", "));
  if (!m_hooks.apply || !m_hooks.apply(m_probe, result)) {
    showMessage(QStringLiteral("Probe %1 is no longer the probe selected in \"pH Calibration\": "
                               "select it there, then apply.")
                    .arg(m_probe));
    return;
  }
  close();
}

void frmBufferCal::showMessage(const QString &text) { m_lblMessage->setText(text); }
