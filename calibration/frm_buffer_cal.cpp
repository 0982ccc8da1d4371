#include "calibration/frm_buffer_cal.h"

#include "common/number_text.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

enum TempSource { FromCalTemp = 0, Typed = 1, Thermistor1 = 2 }; // 3, 4: thermistors 2 and 3

// Above these the result is shown with a warning; it can still be applied.
constexpr double slopeWarningShare = 0.10;
constexpr double residualWarningPh = 0.05;
// A reading is stable when it drifts by less than this many pH a minute at the probe's present
// gain: the millivolt limit follows the probe, whose gain may be far from 1.
constexpr double stablePhPerMinute = 0.01;
// Digits kept of a fitted offset (volts) and slope: finer than the modules' 0.01 mV resolution,
// and short enough to read in the calibration dialog's boxes.
constexpr int offsetPlaces = 6;
constexpr int slopePlaces = 5;

// Fixed decimals in the regional form, without digit grouping, as the main window's displays.
QString fixed(double value, int places) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'f', places);
}

QLabel *namedLabel(const QString &name) {
  auto *label = new QLabel;
  label->setObjectName(name);
  return label;
}

} // namespace

frmBufferCal::frmBufferCal(const AcquisitionState &state, int probe, Hooks hooks, QWidget *parent)
    : QDialog(parent), m_state(state), m_probe(probe),
      m_presentSlope(probe == 2 ? state.probe2Slope : state.probe1Slope),
      m_hooks(std::move(hooks)) {
  setObjectName(QStringLiteral("frmBufferCal"));
  setWindowTitle(QStringLiteral("Calibrate Probe %1 from Buffers").arg(probe));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  // Buffers.
  auto *buffers = new QGroupBox(QStringLiteral("Buffers"));
  auto *grid = new QGridLayout(buffers);
  auto *setLabel = new QLabel(QStringLiteral("Buffer set:"));
  m_cmbBufferSet = new QComboBox;
  m_cmbBufferSet->setObjectName(QStringLiteral("cmbBufferSet"));
  m_cmbBufferSet->addItem(QStringLiteral("Typed values"));
  for (const calibration::BufferSet &set : calibration::commonBufferSets())
    m_cmbBufferSet->addItem(set.name);
  setLabel->setBuddy(m_cmbBufferSet);
  grid->addWidget(setLabel, 0, 0);
  grid->addWidget(m_cmbBufferSet, 0, 1, 1, 3);

  const QStringList headers = {QString(),
                               QStringLiteral("pH"),
                               QStringLiteral("pH at its temperature"),
                               QString(),
                               QStringLiteral("mV"),
                               QStringLiteral("Drift, mV/min"),
                               QString(),
                               QString()};
  for (int c = 0; c < headers.size(); ++c)
    grid->addWidget(new QLabel(headers[c]), 1, c);
  for (int i = 0; i < 3; ++i) {
    RowControls &row = m_controls[i];
    const QString n = QString::number(i);
    auto *caption = new QLabel(QStringLiteral("Buffer %1:").arg(i + 1));
    row.ph = new QLineEdit;
    row.ph->setObjectName(QStringLiteral("txtBufferPh_") + n);
    row.ph->setAccessibleName(QStringLiteral("Buffer %1 pH").arg(i + 1));
    row.ph->setMinimumWidth(row.ph->fontMetrics().horizontalAdvance(QStringLiteral("00.000")) +
                            row.ph->fontMetrics().averageCharWidth() * 2);
    caption->setBuddy(row.ph);
    row.phAt = namedLabel(QStringLiteral("lblBufferAt_") + n);
    row.measure = new QPushButton(QStringLiteral("Measure"));
    row.measure->setObjectName(QStringLiteral("cmdMeasure_") + n);
    row.measure->setAccessibleName(QStringLiteral("Measure buffer %1").arg(i + 1));
    row.measure->setAutoDefault(false);
    row.mv = namedLabel(QStringLiteral("lblMv_") + n);
    row.drift = namedLabel(QStringLiteral("lblDrift_") + n);
    row.state = namedLabel(QStringLiteral("lblState_") + n);
    row.state->setMinimumWidth(150);
    row.accept = new QPushButton(QStringLiteral("Accept"));
    row.accept->setObjectName(QStringLiteral("cmdAccept_") + n);
    row.accept->setAccessibleName(QStringLiteral("Accept buffer %1").arg(i + 1));
    row.accept->setAutoDefault(false);
    row.accept->setEnabled(false);
    const int r = i + 2;
    grid->addWidget(caption, r, 0);
    grid->addWidget(row.ph, r, 1);
    grid->addWidget(row.phAt, r, 2);
    grid->addWidget(row.measure, r, 3);
    grid->addWidget(row.mv, r, 4);
    grid->addWidget(row.drift, r, 5);
    grid->addWidget(row.state, r, 6);
    grid->addWidget(row.accept, r, 7);
    connect(row.ph, &QLineEdit::textChanged, this, [this] {
      refreshRows();
      refit();
    });
    connect(row.measure, &QPushButton::clicked, this, [this, i] { measure(i); });
    connect(row.accept, &QPushButton::clicked, this, [this, i] { acceptReading(i); });
  }

  // Temperature.
  auto *temperature = new QGroupBox(QStringLiteral("Buffer temperature"));
  auto *tempRow = new QHBoxLayout(temperature);
  auto *sourceLabel = new QLabel(QStringLiteral("From:"));
  m_cmbTempSource = new QComboBox;
  m_cmbTempSource->setObjectName(QStringLiteral("cmbTempSource"));
  m_cmbTempSource->addItems({QStringLiteral("\"Temp.:\" box of pH Calibration"),
                             QStringLiteral("Typed here"), QStringLiteral("Thermistor 1"),
                             QStringLiteral("Thermistor 2"), QStringLiteral("Thermistor 3")});
  sourceLabel->setBuddy(m_cmbTempSource);
  auto *typedLabel = new QLabel(QStringLiteral("°C:"));
  m_txtBufferTemp = new QLineEdit(QStringLiteral("25"));
  m_txtBufferTemp->setObjectName(QStringLiteral("txtBufferTemp"));
  m_txtBufferTemp->setAccessibleName(QStringLiteral("Typed temperature"));
  m_txtBufferTemp->setEnabled(false);
  typedLabel->setBuddy(m_txtBufferTemp);
  m_lblTempNow = namedLabel(QStringLiteral("lblTempNow"));
  tempRow->addWidget(sourceLabel);
  tempRow->addWidget(m_cmbTempSource);
  tempRow->addWidget(typedLabel);
  tempRow->addWidget(m_txtBufferTemp);
  tempRow->addWidget(m_lblTempNow, 1);

  m_lblLiveMv = namedLabel(QStringLiteral("lblLiveMv"));

  // Result.
  auto *result = new QGroupBox(QStringLiteral("Result"));
  auto *resultColumn = new QVBoxLayout(result);
  m_lblFit = namedLabel(QStringLiteral("lblFit"));
  m_lblWarning = namedLabel(QStringLiteral("lblWarning"));
  m_lblWarning->setStyleSheet(QStringLiteral("color: #a05a00;"));
  m_lblWarning->setWordWrap(true);
  m_lblMessage = namedLabel(QStringLiteral("lblMessage"));
  m_lblMessage->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
  m_lblMessage->setWordWrap(true);
  resultColumn->addWidget(m_lblFit);
  resultColumn->addWidget(m_lblWarning);
  resultColumn->addWidget(m_lblMessage);

  m_cmdApply = new QPushButton(QStringLiteral("Apply"));
  m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
  m_cmdApply->setAutoDefault(false);
  m_cmdApply->setEnabled(false);
  auto *cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  cancel->setAutoDefault(false);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_cmdApply);
  buttons->addWidget(cancel);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(buffers);
  layout->addWidget(temperature);
  layout->addWidget(m_lblLiveMv);
  layout->addWidget(result);
  layout->addLayout(buttons);

  connect(m_cmbBufferSet, &QComboBox::currentIndexChanged, this, &frmBufferCal::chooseSet);
  connect(m_cmbTempSource, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_txtBufferTemp->setEnabled(index == Typed);
    refreshRows();
  });
  connect(m_txtBufferTemp, &QLineEdit::textChanged, this, &frmBufferCal::refreshRows);
  connect(m_cmdApply, &QPushButton::clicked, this, &frmBufferCal::apply);
  connect(cancel, &QPushButton::clicked, this, &QDialog::close);

  m_tick = new QTimer(this);
  m_tick->setObjectName(QStringLiteral("tmrBufferSample"));
  m_tick->setTimerType(Qt::PreciseTimer);
  m_tick->setInterval(sampleIntervalMs);
  connect(m_tick, &QTimer::timeout, this, &frmBufferCal::tick);
  m_tick->start();

  refreshRows();
  refit();
}

void frmBufferCal::chooseSet(int index) {
  const auto &sets = calibration::commonBufferSets();
  const bool typed = index <= 0 || index > int(sets.size());
  for (int i = 0; i < 3; ++i) {
    QLineEdit *box = m_controls[i].ph;
    if (!typed) {
      const auto &solutions = sets[index - 1].solutions;
      const bool inSet = i < int(solutions.size());
      box->setText(inSet ? fixed(solutions[i].nominal, 2) : QString());
      box->setEnabled(inSet);
    } else {
      box->setEnabled(true);
    }
    box->setReadOnly(!typed);
  }
  refreshRows();
  refit();
}

double frmBufferCal::liveMillivolts() const { return m_probe == 2 ? m_state.ph2mV : m_state.ph1mV; }

std::optional<double> frmBufferCal::temperatureNow(QString *why) const {
  const int source = m_cmbTempSource->currentIndex();
  std::optional<double> celsius;
  if (source >= Thermistor1) {
    // The thermistor's reading as the pH channel compensates with it, without the operator's
    // display offset: the fitted coefficients then serve readings taken on the same footing.
    if (!m_state.thermReadEnabled) {
      *why = QStringLiteral("The thermistor channel is off: switch it on in the main window, or "
                            "take the temperature from elsewhere.");
      return std::nullopt;
    }
    const double temps[] = {m_state.therm1Temp, m_state.therm2Temp, m_state.therm3Temp};
    celsius = temps[source - Thermistor1];
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
  if (set > 0 && set <= int(sets.size())) {
    const auto &solutions = sets[set - 1].solutions;
    if (row >= int(solutions.size())) {
      *why = QStringLiteral("The set %1 has no buffer %2.").arg(sets[set - 1].name).arg(row + 1);
      return std::nullopt;
    }
    const calibration::BufferSolution &solution = solutions[row];
    const auto ph = solution.phAt(celsius);
    if (!ph)
      *why =
          QStringLiteral("The table of buffer %1 (pH %2) covers %3 to %4 °C, not %5 °C: "
                         "choose \"Typed values\" and type its pH.")
              .arg(row + 1)
              .arg(fixed(solution.nominal, 2), common::generalNumber(solution.table.front().first),
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

double frmBufferCal::stableLimitMvPerMinute(double celsius) const {
  const double gain = std::isfinite(m_presentSlope) && m_presentSlope != 0 ? m_presentSlope : 1;
  return stablePhPerMinute * calibration::nernstVoltsPerKelvin * std::abs(gain) *
         (celsius + 273.15) * 1000;
}

void frmBufferCal::measure(int row) {
  if (m_measuring >= 0)
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
  m_fixedCelsius = *celsius;
  m_rows[row] = Row{};
  m_samples.clear();
  m_measuring = row;
  m_sinceStart.start();
  for (int i = 0; i < 3; ++i) {
    m_controls[i].measure->setEnabled(false);
    m_controls[i].accept->setEnabled(i == row);
  }
  m_cmbTempSource->setEnabled(false);
  m_txtBufferTemp->setEnabled(false);
  m_controls[row].mv->clear();
  m_controls[row].drift->clear();
  m_controls[row].state->setText(QStringLiteral("measuring…"));
  m_controls[row].state->setStyleSheet(QString());
  refit();
}

void frmBufferCal::tick() {
  if (m_measuring >= 0) {
    if (takeSample())
      refreshRows();
    return;
  }
  refreshRows();
}

// Adds the state's present reading to the window of samples and updates the row; finishes the
// measurement when it has been stable over a whole settling time. False when it was stopped.
bool frmBufferCal::takeSample() {
  const int row = m_measuring;
  if (!m_state.phReadEnabled) {
    stopMeasuring(QStringLiteral("The pH channel was switched off while buffer %1 was measured: "
                                 "nothing was taken. Switch it on and measure again.")
                      .arg(row + 1));
    return false;
  }
  const double mv = liveMillivolts();
  if (!std::isfinite(mv)) {
    stopMeasuring(QStringLiteral("Probe %1 gave a millivolt reading that is not a number while "
                                 "buffer %2 was measured: nothing was taken.")
                      .arg(m_probe)
                      .arg(row + 1));
    return false;
  }
  double celsius = m_fixedCelsius;
  if (m_cmbTempSource->currentIndex() >= Thermistor1) {
    QString why;
    const auto now = temperatureNow(&why);
    if (!now) {
      stopMeasuring(why + QStringLiteral(" Nothing was taken for buffer %1.").arg(row + 1));
      return false;
    }
    celsius = *now;
  }
  const qint64 now = m_sinceStart.elapsed();
  m_samples.push_back({now, mv, celsius});
  while (m_samples.size() > 1 && m_samples.front().ms < now - m_settleMs)
    m_samples.pop_front();

  double meanMs = 0, meanMv = 0, meanC = 0;
  for (const Sample &s : m_samples) {
    meanMs += double(s.ms);
    meanMv += s.millivolts;
    meanC += s.celsius;
  }
  const double n = double(m_samples.size());
  meanMs /= n;
  meanMv /= n;
  meanC /= n;
  double stt = 0, stv = 0;
  for (const Sample &s : m_samples) {
    stt += (s.ms - meanMs) * (s.ms - meanMs);
    stv += (s.ms - meanMs) * (s.millivolts - meanMv);
  }
  // mV per minute, known once the samples span some time.
  const bool driftKnown = stt > 0;
  const double drift = driftKnown ? stv / stt * 60000 : 0;

  Row &r = m_rows[row];
  r.millivolts = meanMv;
  r.celsius = meanC;
  RowControls &c = m_controls[row];
  c.mv->setText(fixed(meanMv, 2));
  c.drift->setText(driftKnown ? fixed(drift, 2) : QStringLiteral("—"));
  const bool stable = driftKnown && std::abs(drift) <= stableLimitMvPerMinute(meanC);
  if (now >= m_settleMs && stable) {
    finish(true);
    return true;
  }
  c.state->setText(QStringLiteral("measuring %1 of %2 s%3")
                       .arg(now / 1000)
                       .arg(m_settleMs / 1000)
                       .arg(now >= m_settleMs ? QStringLiteral(", not stable") : QString()));
  return true;
}

void frmBufferCal::acceptReading(int row) {
  if (row != m_measuring)
    return;
  // The operator may take the reading before it is stable, but not one of nothing.
  if (!takeSample() || m_measuring != row)
    return;
  finish(false);
}

void frmBufferCal::finish(bool stable) {
  const int row = m_measuring;
  m_measuring = -1;
  m_rows[row].measured = true;
  m_rows[row].stable = stable;
  RowControls &c = m_controls[row];
  c.state->setText(stable ? QStringLiteral("✔ stable") : QStringLiteral("accepted, not stable"));
  c.state->setStyleSheet(stable ? QStringLiteral("color: #006400; font-weight: bold;")
                                : QStringLiteral("color: #a05a00;"));
  for (RowControls &each : m_controls) {
    each.measure->setEnabled(true);
    each.accept->setEnabled(false);
  }
  m_cmbTempSource->setEnabled(true);
  m_txtBufferTemp->setEnabled(m_cmbTempSource->currentIndex() == Typed);
  refreshRows();
  refit();
}

void frmBufferCal::stopMeasuring(const QString &why) {
  const int row = m_measuring;
  m_measuring = -1;
  m_rows[row] = Row{};
  RowControls &c = m_controls[row];
  c.mv->clear();
  c.drift->clear();
  c.state->setText(QStringLiteral("not measured"));
  c.state->setStyleSheet(QString());
  for (RowControls &each : m_controls) {
    each.measure->setEnabled(true);
    each.accept->setEnabled(false);
  }
  m_cmbTempSource->setEnabled(true);
  m_txtBufferTemp->setEnabled(m_cmbTempSource->currentIndex() == Typed);
  refit();
  showMessage(why);
}

// The live read-outs: the probe's present reading, the source temperature, and each buffer's
// pH at its temperature (its measured one, or the source's while it is not measured).
void frmBufferCal::refreshRows() {
  m_lblLiveMv->setText(
      m_state.phReadEnabled
          ? QStringLiteral("Probe %1 now: %2 mV").arg(m_probe).arg(fixed(liveMillivolts(), 2))
          : QStringLiteral("Probe %1: the pH channel is off.").arg(m_probe));
  QString why;
  const auto now = temperatureNow(&why);
  m_lblTempNow->setText(now ? QStringLiteral("now %1 °C").arg(fixed(*now, 2)) : why);
  for (int i = 0; i < 3; ++i) {
    const Row &row = m_rows[i];
    const std::optional<double> celsius =
        row.measured || m_measuring == i ? std::optional<double>(row.celsius) : now;
    QString unused;
    const auto ph = celsius && m_measuring != i ? bufferPh(i, *celsius, &unused) : std::nullopt;
    m_controls[i].phAt->setText(
        ph ? QStringLiteral("%1 at %2 °C").arg(fixed(*ph, 3), fixed(*celsius, 1)) : QString());
    if (!row.measured && m_measuring != i && m_controls[i].state->text().isEmpty())
      m_controls[i].state->setText(QStringLiteral("not measured"));
  }
}

void frmBufferCal::refit() {
  m_fit.reset();
  m_cmdApply->setEnabled(false);
  m_lblFit->clear();
  m_lblWarning->clear();
  if (m_measuring >= 0)
    return;
  std::vector<calibration::BufferReading> readings;
  std::vector<int> rowOf;
  for (int i = 0; i < 3; ++i) {
    if (!m_rows[i].measured)
      continue;
    QString why;
    const auto ph = bufferPh(i, m_rows[i].celsius, &why);
    if (!ph) {
      showMessage(why);
      return;
    }
    readings.push_back({*ph, m_rows[i].celsius, m_rows[i].millivolts});
    rowOf.push_back(i);
  }
  if (readings.size() < 2) {
    m_lblFit->setText(QStringLiteral("Measure at least two buffers."));
    return;
  }
  const calibration::BufferFitResult result = calibration::fitBuffers(readings);
  if (!result.fit) {
    // The message names buffers by their rows, not by their place among the measured ones.
    calibration::BufferFitResult named = result;
    std::vector<calibration::BufferReading> byRow(3);
    for (std::size_t k = 0; k < readings.size(); ++k)
      byRow[rowOf[k]] = readings[k];
    named.first = result.first >= 0 ? rowOf[result.first] : -1;
    named.second = result.second >= 0 ? rowOf[result.second] : -1;
    showMessage(calibration::bufferFitMessage(named, byRow));
    return;
  }
  showMessage(QString());
  m_fit = result.fit;
  m_lblFit->setText(
      QStringLiteral("Offset %1 V    Slope %2    Worst residual %3 pH")
          .arg(common::generalNumber(common::roundHalfEven(m_fit->offset, offsetPlaces)),
               common::generalNumber(common::roundHalfEven(m_fit->slope, slopePlaces)),
               fixed(m_fit->worstResidualPh, 3)));
  QStringList warnings;
  if (!(std::abs(m_fit->slope - m_presentSlope) <= slopeWarningShare * std::abs(m_presentSlope)))
    warnings << QStringLiteral("The slope differs from the probe's present slope, %1, by more than "
                               "10 %.")
                    .arg(common::generalNumber(m_presentSlope));
  if (m_fit->worstResidualPh > residualWarningPh)
    warnings << QStringLiteral("A buffer lies %1 pH from the fitted line, more than 0.05 pH: check "
                               "the buffers and the probe.")
                    .arg(fixed(m_fit->worstResidualPh, 3));
  m_lblWarning->setText(warnings.join(QLatin1Char('\n')));
  m_cmdApply->setEnabled(true);
}

void frmBufferCal::apply() {
  refit();
  if (!m_fit)
    return;
  const QString offset = common::generalNumber(common::roundHalfEven(m_fit->offset, offsetPlaces));
  const QString slope = common::generalNumber(common::roundHalfEven(m_fit->slope, slopePlaces));
  if (!m_hooks.apply || !m_hooks.apply(m_probe, offset, slope)) {
    showMessage(QStringLiteral("Probe %1 is no longer the probe selected in \"pH Calibration\": "
                               "select it there, then apply.")
                    .arg(m_probe));
    return;
  }
  close();
}

void frmBufferCal::showMessage(const QString &text) { m_lblMessage->setText(text); }
