#include "calibration/frm_cal.h"

#include "calibration/calibration_history.h"
#include "calibration/calibration_store.h"
#include "calibration/frm_buffer_cal.h"
#include "calibration/limit_question.h"
#include "state/quantities.h"
#include "widgets/two_state_switch.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QVBoxLayout>

namespace {

// The picker shows the regional short form with a four-digit year, as the store writes it.
QString pickerFormat() {
  QString format = QLocale().dateFormat(QLocale::ShortFormat);
  static const QRegularExpression years(QStringLiteral("y+"));
  format.replace(years, QStringLiteral("yyyy"));
  if (format.contains(QLatin1String("MMM")) || format.contains(QLatin1String("ddd")))
    return QStringLiteral("yyyy-MM-dd");
  return format;
}

QLineEdit *addField(QGridLayout *grid, int row, const QString &caption, const QString &name,
                    const QString &layoutText) {
  auto *label = new QLabel(caption);
  auto *edit = new QLineEdit(layoutText);
  edit->setObjectName(name);
  edit->setAccessibleName(caption.chopped(1));
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

// A line of text the dialog shows: a flat read-only box, so that the dialog's captions stay the
// labels of its fields.
QLineEdit *readOut(const QString &name, const QString &accessibleName) {
  auto *edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setAccessibleName(accessibleName);
  edit->setReadOnly(true);
  edit->setFrame(false);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setStyleSheet(QStringLiteral("background: transparent;"));
  return edit;
}

calibration::ProbeValues storedValues(int probe) {
  const calibration::ProbeTexts texts = calibration::readProbeCoefficients(probe);
  // Every text reads: the store replaces those that do not by their defaults.
  return {*calibration::readCoefficientNumber(texts.offset),
          *calibration::readCoefficientNumber(texts.slope), texts.serialNumber,
          *calibration::readCoefficientDate(texts.date)};
}

} // namespace

frmCal::frmCal(AcquisitionState &state, tiltdgh::OperatorMessages &messages, QWidget *parent,
               calibration::AssistantMemory *memory)
    : QDialog(parent), m_state(state), m_messages(messages),
      m_memory(memory ? memory : &m_ownMemory) {
  setObjectName(QStringLiteral("frmCal"));
  setWindowTitle(QStringLiteral("pH Calibration"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto *frame = new QGroupBox(QStringLiteral("Coefficients"));
  auto *grid = new QGridLayout(frame);
  addCoefficientFields(grid);
  addCareFields(grid);

  // Kept from the layout; nothing depends on it.
  auto *enable = new widgets::TwoStateSwitch(QStringLiteral("Disable"), QStringLiteral("Enable"));
  enable->setObjectName(QStringLiteral("CWcal_enable"));
  enable->setAccessibleName(QStringLiteral("Enable"));

  auto *saveButton = new QPushButton(QStringLiteral("Save"));
  saveButton->setObjectName(QStringLiteral("Command1"));
  saveButton->setAutoDefault(false);

  auto *bufferCal = new QPushButton(QStringLiteral("Calibrate from buffers…"));
  bufferCal->setObjectName(QStringLiteral("cmdBufferCal"));
  bufferCal->setAutoDefault(false);
  connect(bufferCal, &QPushButton::clicked, this, &frmCal::openBufferCalibration);

  m_txtCalReason = new QLineEdit;
  m_txtCalReason->setObjectName(QStringLiteral("txtCalReason"));
  m_txtCalReason->setAccessibleName(QStringLiteral("Reason for this calibration"));
  m_txtCalReason->setPlaceholderText(QStringLiteral("Reason (optional, kept in the history)"));

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(enable);
  layout->addWidget(bufferCal);
  layout->addWidget(m_txtCalReason);
  layout->addWidget(saveButton);
  connect(saveButton, &QPushButton::clicked, this, &frmCal::save);

  connectEdits();
  loadProbe(1);
}

// The probe choice and the five fields, labels to the left, in the order Offset, Slope, S/N,
// Temp, Date.
void frmCal::addCoefficientFields(QGridLayout *grid) {
  auto *probe1 = new QRadioButton(QStringLiteral("Probe 1"));
  probe1->setObjectName(QStringLiteral("Option1_0"));
  auto *probe2 = new QRadioButton(QStringLiteral("Probe 2"));
  probe2->setObjectName(QStringLiteral("Option1_1"));
  m_probeButtons = new QButtonGroup(this);
  m_probeButtons->addButton(probe1, 1);
  m_probeButtons->addButton(probe2, 2);
  probe1->setChecked(true);
  auto *probes = new QHBoxLayout;
  probes->addWidget(probe1);
  probes->addWidget(probe2);
  grid->addLayout(probes, 0, 0, 1, 2);

  m_txtOffset = addField(grid, 1, QStringLiteral("Offset:"), QStringLiteral("txtOffset"),
                         QStringLiteral("2.4530"));
  m_txtSlope = addField(grid, 2, QStringLiteral("Slope:"), QStringLiteral("txtSlope"),
                        QStringLiteral("4.5358"));
  m_txtSerialNum = addField(grid, 3, QStringLiteral("S/N.:"), QStringLiteral("txtSerialNum"),
                            QStringLiteral("000.0"));
  m_txtCalTemp = addField(grid, 4, QStringLiteral("Temp.:"), QStringLiteral("txtCalTemp"),
                          QStringLiteral("14.000"));

  auto *dateLabel = new QLabel(QStringLiteral("Date:"));
  m_DTPicker1 = new QDateEdit;
  m_DTPicker1->setObjectName(QStringLiteral("DTPicker1"));
  m_DTPicker1->setAccessibleName(QStringLiteral("Date"));
  m_DTPicker1->setCalendarPopup(true);
  m_DTPicker1->setDisplayFormat(pickerFormat());
  // Wide enough for any date the store can hold, so the picker never shows a clamped one.
  m_DTPicker1->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
  dateLabel->setBuddy(m_DTPicker1);
  grid->addWidget(dateLabel, 5, 0);
  grid->addWidget(m_DTPicker1, 5, 1);
}

void frmCal::connectEdits() {
  connect(m_txtOffset, &QLineEdit::textChanged, this, &frmCal::applyOffsetText);
  connect(m_txtSlope, &QLineEdit::textChanged, this, &frmCal::applySlopeText);
  connect(m_txtSerialNum, &QLineEdit::textChanged, this, &frmCal::applySerialText);
  connect(m_DTPicker1, &QDateEdit::dateChanged, this, &frmCal::applyDate);
  // Only a change of selection loads a probe: a click on the probe already selected keeps the
  // operator's unsaved edits.
  connect(m_probeButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked)
      loadProbe(id);
  });
}

void frmCal::loadProbe(int probe) {
  m_selectedProbe = probe;
  const calibration::ProbeTexts texts = calibration::readProbeCoefficients(probe);
  // setText() raises the edit path only when the text changes; the live values must follow the
  // stored ones even when a box already shows the same text.
  m_txtOffset->setText(texts.offset);
  applyOffsetText(texts.offset);
  m_txtSlope->setText(texts.slope);
  applySlopeText(texts.slope);
  m_txtSerialNum->setText(texts.serialNumber);
  applySerialText(texts.serialNumber);
  const QDate date = calibration::readCoefficientDate(texts.date).value_or(QDate(2001, 1, 1));
  m_DTPicker1->setDate(date);
  applyDate(date);
  m_fromBuffers.reset();
  m_care->showProbe(probe);
  m_stored = storedValues(probe);
  const calibration::HistoryReport history =
      calibration::readHistory(calibration::historyFilePath());
  const calibration::CalibrationRecord *last =
      calibration::recordThatWrote(history, probe, m_stored);
  m_previous = last ? last->before : m_stored;
  refreshStatus();
}

void frmCal::applyOffsetText(const QString &text) {
  if (const auto value = calibration::readCoefficientNumber(text))
    liveOffset() = *value;
  if (m_fromBuffers && text != m_fromBuffers->offset)
    m_fromBuffers.reset();
  refreshStatus();
}

void frmCal::applySlopeText(const QString &text) {
  if (const auto value = calibration::readCoefficientNumber(text))
    liveSlope() = *value;
  if (m_fromBuffers && text != m_fromBuffers->slope)
    m_fromBuffers.reset();
  refreshStatus();
}

void frmCal::applySerialText(const QString &text) {
  liveSerial() = text;
  refreshStatus();
}

void frmCal::applyDate(const QDate &date) {
  if (date.isValid())
    liveDate() = date;
  refreshStatus();
}

// "Save" stores the live values, and a box's text changes them only when it reads as a number:
// a box that does not read would be saved as an earlier value than the one it shows.
QString frmCal::unreadableBox() const {
  for (const QLineEdit *box : {m_txtOffset, m_txtSlope}) {
    const std::optional<double> value = calibration::readCoefficientNumber(box->text());
    if (!value)
      return QStringLiteral("Probe %1 %2: \"%3\" is not a number; nothing was saved.")
          .arg(m_selectedProbe)
          .arg(box->accessibleName(), box->text());
    // The store reads a slope of 0 back as its default: saved, it would be lost at the next start.
    if (box == m_txtSlope && *value == 0)
      return QStringLiteral("Probe %1 %2: \"%3\" is a slope of 0, which gives no pH; nothing "
                            "was saved.")
          .arg(m_selectedProbe)
          .arg(box->accessibleName(), box->text());
  }
  return {};
}

bool frmCal::confirmLimits(QString *overridden) {
  // The assistant asked already when its result passed a limit.
  if (m_fromBuffers && !m_fromBuffers->overridden.isEmpty()) {
    *overridden = m_fromBuffers->overridden;
    return true;
  }
  const calibration::ProbeValues live = liveValues();
  calibration::ProbeValues typed = m_stored;
  typed.offset = live.offset;
  typed.slope = live.slope;
  if (calibration::sameCalibration(typed, m_stored))
    return true; // no new offset or slope: no new limit passed
  const calibration::Condition condition = calibration::judgeCondition(
      live.offset, live.slope, m_stored.offset, m_stored.slope, m_care->care().limits);
  if (condition.verdict != calibration::Verdict::Refuse)
    return true;
  const QString reasons = condition.reasons.join(QStringLiteral("; "));
  if (!calibration::confirmPassingLimits(
          this, QStringLiteral("Probe %1's new values are").arg(m_selectedProbe), reasons,
          QStringLiteral("Save them"), QMessageBox::Save))
    return false;
  *overridden = reasons;
  return true;
}

void frmCal::save() {
  if (const QString refusal = unreadableBox(); !refusal.isEmpty()) {
    m_messages.showMessage(refusal);
    return;
  }
  QString overridden;
  if (!confirmLimits(&overridden))
    return;
  const calibration::ProbeValues before = storedValues(m_selectedProbe);
  if (calibration::saveProbeCoefficients(m_state, m_selectedProbe) == QSettings::AccessError) {
    m_messages.showMessage(QStringLiteral("The calibration values of probe %1 were not saved: "
                                          "the settings file %2 cannot be written.")
                               .arg(m_selectedProbe)
                               .arg(calibration::settingsFileName()));
    return;
  }
  recordSave(before, overridden);
}

void frmCal::recordSave(const calibration::ProbeValues &before, const QString &overridden) {
  calibration::CalibrationRecord record;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  record.time = now.addMSecs(-now.time().msec());
  record.user = calibration::loginName();
  record.host = QSysInfo::machineHostName();
  record.probe = m_selectedProbe;
  record.before = before;
  // What the store holds now, as the next reader gets it.
  record.after = storedValues(m_selectedProbe);
  if (m_fromBuffers) {
    record.buffers = m_fromBuffers->buffers;
    record.worstResidualPh = m_fromBuffers->worstResidualPh;
    record.temperatureSource = m_fromBuffers->temperatureSource;
  }
  record.overridden = overridden;
  record.reason = m_txtCalReason->text().trimmed();
  const QString error = calibration::appendRecord(calibration::historyFilePath(), record);
  if (!error.isEmpty())
    m_messages.showMessage(QStringLiteral("The calibration values of probe %1 were saved, but "
                                          "the calibration history could not be written: %2.")
                               .arg(m_selectedProbe)
                               .arg(error));
  else
    m_txtCalReason->clear();
  m_fromBuffers.reset();
  m_previous = before;
  m_stored = record.after;
  refreshStatus();
}

void frmCal::addCareFields(QGridLayout *grid) {
  m_care =
      new calibration::ProbeCareFields(grid, m_txtOffset->sizeHint().height(), this, m_messages);
  connect(m_care, &calibration::ProbeCareFields::limitsChanged, this, &frmCal::refreshStatus);
  m_txtCondition = readOut(QStringLiteral("txtCondition"), QStringLiteral("Probe condition"));
  m_txtUnsaved = readOut(QStringLiteral("txtUnsaved"), QStringLiteral("Unsaved values"));
  m_txtUnsaved->setStyleSheet(QStringLiteral("background: transparent; color: #b00000;"));
  grid->addWidget(m_txtCondition, 6, 0, 1, 3);
  grid->addWidget(m_txtUnsaved, 7, 0, 1, 3);
}

void frmCal::refreshStatus() {
  if (!m_txtUnsaved)
    return; // still being built
  const calibration::ProbeValues live = liveValues();
  const bool unsaved = !calibration::sameCalibration(live, m_stored);
  m_txtUnsaved->setText(unsaved ? QStringLiteral("Probe %1's live values differ from the stored "
                                                 "ones: in use, not saved until \"Save\".")
                                      .arg(m_selectedProbe)
                                : QString());
  m_txtUnsaved->setCursorPosition(0);
  const calibration::ProbeValues &base = unsaved ? m_stored : m_previous;
  const calibration::Condition condition = calibration::judgeCondition(
      live.offset, live.slope, base.offset, base.slope, m_care->care().limits);
  QString text = condition.summary();
  if (!condition.reasons.isEmpty())
    text += QStringLiteral(": ") + condition.reasons.join(QStringLiteral("; "));
  // From its start, however narrow the dialog: a read-only box otherwise shows its end.
  m_txtCondition->setText(text);
  m_txtCondition->setCursorPosition(0);
  m_txtCondition->setToolTip(text);
  const char *colour = condition.verdict == calibration::Verdict::Good   ? "palette(text)"
                       : condition.verdict == calibration::Verdict::Warn ? "#a05a00"
                                                                         : "#b00000";
  m_txtCondition->setStyleSheet(
      QStringLiteral("background: transparent; color: %1;").arg(QLatin1String(colour)));
}

calibration::ProbeValues frmCal::liveValues() {
  return {liveOffset(), liveSlope(), liveSerial(), liveDate()};
}

void frmCal::openBufferCalibration() {
  if (m_bufferCal && !m_bufferCal->isVisible()) {
    // Closed but not yet deleted (deletion waits for the event loop): it counts as closed.
    m_bufferCal->deleteLater();
    m_bufferCal = nullptr;
  }
  if (!m_bufferCal) {
    frmBufferCal::Hooks hooks;
    hooks.calTempText = [this] { return m_txtCalTemp->text(); };
    // Through the boxes' own edit path, as if the operator had typed the values; the picker's
    // change makes today the live calibration date. Saving stays the operator's step; the next
    // Save records the buffers while the boxes still show their result.
    hooks.apply = [this](int probe, const calibration::BufferResult &result) {
      if (probe != m_selectedProbe)
        return false;
      m_txtOffset->setText(result.offset);
      m_txtSlope->setText(result.slope);
      m_DTPicker1->setDate(QDate::currentDate());
      m_fromBuffers = result;
      refreshStatus();
      return true;
    };
    m_bufferCal = new frmBufferCal(m_state, m_selectedProbe, std::move(hooks), *m_memory, this);
  }
  m_bufferCal->show();
  m_bufferCal->raise();
  m_bufferCal->activateWindow();
}

double &frmCal::liveOffset() { return m_state.*state::probe(m_selectedProbe).offset; }

double &frmCal::liveSlope() { return m_state.*state::probe(m_selectedProbe).slope; }

QString &frmCal::liveSerial() { return m_state.*state::probe(m_selectedProbe).serial; }

QDate &frmCal::liveDate() { return m_state.*state::probe(m_selectedProbe).calDate; }
