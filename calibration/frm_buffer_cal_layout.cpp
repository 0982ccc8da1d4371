// The buffer assistant's controls and their connections.
#include "calibration/frm_buffer_cal.h"
#include "state/quantities.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *namedLabel(const QString &name) {
  auto *label = new QLabel;
  label->setObjectName(name);
  return label;
}

// Wide enough for the longest text the column shows, so that the columns stay still while a
// buffer is measured.
void reserveWidth(QWidget *widget, const QString &longest) {
  widget->setMinimumWidth(widget->fontMetrics().horizontalAdvance(longest) +
                          widget->fontMetrics().averageCharWidth() * 2);
}

} // namespace

frmBufferCal::frmBufferCal(const AcquisitionState &state, int probe, Hooks hooks,
                           calibration::AssistantMemory &memory, QWidget *parent)
    : QDialog(parent), m_state(state), m_probe(probe),
      m_presentOffset(state.*state::probe(probe).offset),
      m_presentSlope(state.*state::probe(probe).slope), m_hooks(std::move(hooks)), m_memory(memory),
      m_measurement(probe, m_presentSlope) {
  setObjectName(QStringLiteral("frmBufferCal"));
  setWindowTitle(QStringLiteral("Calibrate Probe %1 from Buffers").arg(probe));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto *buffers = new QGroupBox(QStringLiteral("Buffers"));
  auto *grid = new QGridLayout(buffers);
  buildBufferRows(grid);
  auto *temperature = new QGroupBox(QStringLiteral("Buffer temperature"));
  temperature->setLayout(buildTemperatureRow());
  m_lblLiveMv = namedLabel(QStringLiteral("lblLiveMv"));
  auto *result = new QGroupBox(QStringLiteral("Result"));
  result->setLayout(buildResult());

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

  connect(m_cmdApply, &QPushButton::clicked, this, &frmBufferCal::apply);
  connect(cancel, &QPushButton::clicked, this, &QDialog::close);

  m_tick = new QTimer(this);
  m_tick->setObjectName(QStringLiteral("tmrBufferSample"));
  m_tick->setTimerType(Qt::PreciseTimer);
  m_tick->setInterval(sampleIntervalMs);
  connect(m_tick, &QTimer::timeout, this, &frmBufferCal::tick);
  m_tick->start();

  // The choices made earlier in this run.
  if (m_memory.bufferSet >= 0 && m_memory.bufferSet < m_cmbBufferSet->count())
    m_cmbBufferSet->setCurrentIndex(m_memory.bufferSet);
  if (m_memory.temperatureSource >= 0 && m_memory.temperatureSource < m_cmbTempSource->count())
    m_cmbTempSource->setCurrentIndex(m_memory.temperatureSource);
  setSettlingTime(m_settleMs);
  refreshRows();
  refit();
}

void frmBufferCal::buildBufferRows(QGridLayout *grid) {
  auto *setLabel = new QLabel(QStringLiteral("Buffer set:"));
  m_cmbBufferSet = new QComboBox;
  m_cmbBufferSet->setObjectName(QStringLiteral("cmbBufferSet"));
  m_cmbBufferSet->addItem(QStringLiteral("Typed values"));
  for (const calibration::BufferSet &set : calibration::commonBufferSets())
    m_cmbBufferSet->addItem(set.name);
  setLabel->setBuddy(m_cmbBufferSet);
  grid->addWidget(setLabel, 0, 0);
  grid->addWidget(m_cmbBufferSet, 0, 1, 1, 3);
  m_lblRule = namedLabel(QStringLiteral("lblRule"));
  grid->addWidget(m_lblRule, 0, 4, 1, 4);

  // Each heading over its own column; the numbers' headings align as their numbers do.
  const struct {
    int column;
    const char *text;
    Qt::Alignment align;
  } headings[] = {{1, "pH", Qt::AlignLeft},
                  {2, "pH at its temperature", Qt::AlignLeft},
                  {4, "mV", Qt::AlignRight},
                  {5, "Drift, mV/min", Qt::AlignRight},
                  {6, "State", Qt::AlignLeft}};
  for (const auto &h : headings) {
    auto *label = new QLabel(QString::fromUtf8(h.text));
    label->setAlignment(h.align | Qt::AlignBottom);
    grid->addWidget(label, 1, h.column);
  }
  for (int i = 0; i < 3; ++i)
    buildBufferRow(grid, i);
  connect(m_cmbBufferSet, &QComboBox::currentIndexChanged, this, &frmBufferCal::chooseSet);
}

void frmBufferCal::buildBufferRow(QGridLayout *grid, int i) {
  RowControls &row = m_controls[i];
  const QString n = QString::number(i);
  auto *caption = new QLabel(QStringLiteral("Buffer %1:").arg(i + 1));
  row.ph = new QLineEdit;
  row.ph->setObjectName(QStringLiteral("txtBufferPh_") + n);
  row.ph->setAccessibleName(QStringLiteral("Buffer %1 pH").arg(i + 1));
  reserveWidth(row.ph, QStringLiteral("00.000"));
  caption->setBuddy(row.ph);
  row.phAt = namedLabel(QStringLiteral("lblBufferAt_") + n);
  reserveWidth(row.phAt, QStringLiteral("00.000 at 100.0 °C"));
  row.measure = new QPushButton(QStringLiteral("Measure"));
  row.measure->setObjectName(QStringLiteral("cmdMeasure_") + n);
  row.measure->setAccessibleName(QStringLiteral("Measure buffer %1").arg(i + 1));
  row.measure->setAutoDefault(false);
  reserveWidth(row.measure, QStringLiteral("Measure"));
  row.mv = namedLabel(QStringLiteral("lblMv_") + n);
  row.mv->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  reserveWidth(row.mv, QStringLiteral("-0000.00"));
  row.drift = namedLabel(QStringLiteral("lblDrift_") + n);
  row.drift->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  reserveWidth(row.drift, QStringLiteral("Drift, mV/min"));
  row.state = namedLabel(QStringLiteral("lblState_") + n);
  reserveWidth(row.state, QStringLiteral("measuring 000 of 000 s, not stable"));
  row.accept = new QPushButton(QStringLiteral("Accept"));
  row.accept->setObjectName(QStringLiteral("cmdAccept_") + n);
  row.accept->setAccessibleName(QStringLiteral("Accept buffer %1").arg(i + 1));
  row.accept->setToolTip(QStringLiteral("While the buffer is measured: takes the reading now, "
                                        "before it is stable."));
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
  connect(row.measure, &QPushButton::clicked, this, [this, i] { measureOrStop(i); });
  connect(row.accept, &QPushButton::clicked, this, [this, i] { acceptReading(i); });
}

QLayout *frmBufferCal::buildTemperatureRow() {
  auto *tempRow = new QHBoxLayout;
  auto *sourceLabel = new QLabel(QStringLiteral("From:"));
  m_cmbTempSource = new QComboBox;
  m_cmbTempSource->setObjectName(QStringLiteral("cmbTempSource"));
  const int compensating = m_state.*state::probe(m_probe).thermSelect;
  m_cmbTempSource->addItems(
      {QStringLiteral("\"Temp.:\" box of pH Calibration"), QStringLiteral("Typed here"),
       QStringLiteral("Thermistor 1"), QStringLiteral("Thermistor 2"),
       QStringLiteral("Thermistor 3"),
       QStringLiteral("Probe %1's thermistor (T-%2) when on, else \"Temp.:\" box")
           .arg(m_probe)
           .arg(compensating >= 1 && compensating <= 3 ? compensating : 1)});
  m_cmbTempSource->setCurrentIndex(Compensating);
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

  connect(m_cmbTempSource, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_memory.temperatureSource = index;
    m_txtBufferTemp->setEnabled(index == Typed);
    refreshRows();
  });
  connect(m_txtBufferTemp, &QLineEdit::textChanged, this, &frmBufferCal::refreshRows);
  return tempRow;
}

QLayout *frmBufferCal::buildResult() {
  auto *resultColumn = new QVBoxLayout;
  m_lblFit = namedLabel(QStringLiteral("lblFit"));
  m_lblFitTemp = namedLabel(QStringLiteral("lblFitTemp"));
  m_lblCondition = namedLabel(QStringLiteral("lblCondition"));
  m_lblCondition->setWordWrap(true);
  m_lblWarning = namedLabel(QStringLiteral("lblWarning"));
  m_lblWarning->setStyleSheet(QStringLiteral("color: #a05a00;"));
  m_lblWarning->setWordWrap(true);
  m_lblMessage = namedLabel(QStringLiteral("lblMessage"));
  m_lblMessage->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
  m_lblMessage->setWordWrap(true);
  resultColumn->addWidget(m_lblFit);
  resultColumn->addWidget(m_lblFitTemp);
  resultColumn->addWidget(m_lblCondition);
  resultColumn->addWidget(m_lblWarning);
  resultColumn->addWidget(m_lblMessage);
  return resultColumn;
}
