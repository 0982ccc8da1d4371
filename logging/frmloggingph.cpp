#include "logging/frmloggingph.h"

#include "common/number_text.h"
#include "logging/log_reader.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

namespace logging {
namespace {

struct IntervalEntry {
  double seconds;
  int milliseconds;
};

// Position in the list -> entry. OK reads the milliseconds by position, never from the text.
constexpr std::array<IntervalEntry, 11> kIntervals{{{60, 60000},
                                                    {30, 30000},
                                                    {15, 15000},
                                                    {10, 10000},
                                                    {5, 5000},
                                                    {2, 2000},
                                                    {1, 1000},
                                                    {0.5, 500},
                                                    {0.25, 250},
                                                    {0.2, 200},
                                                    {0.1, 100}}};

QRadioButton *option(const QString &caption, const QString &name) {
  auto *button = new QRadioButton(caption);
  button->setObjectName(name);
  return button;
}

// Counts the records the reader finds and keeps none of them, so a file of any size is counted
// in the memory of one chunk.
class RecordCounter : public LogSink {
public:
  void run(const LogRun &) override {}
  bool record(const LogRecord &) override {
    ++count;
    return true;
  }
  qint64 count = 0;
};

} // namespace

QString overwriteQuestion(const QString &path) {
  const QFileInfo info(path);
  // Only a regular file has records to lose; anything else is the writer's to refuse, and a FIFO
  // must not be opened here, where it would block.
  if (!info.isFile() || info.size() == 0)
    return {};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {}; // the writer's open says why
  RecordCounter counter;
  const LogReadSummary summary = readLog(file, counter);
  const QString name = QDir::toNativeSeparators(path);
  const QLocale locale;
  if (!summary.ok)
    return QStringLiteral("The file \"%1\" is not a log file (it holds %2 bytes), and "
                          "\"Overwrite\" would delete what it holds.\n\nOverwrite it?")
        .arg(name, locale.toString(info.size()));
  if (counter.count == 0)
    return {}; // a header without records: nothing of a run is lost
  return QStringLiteral("The log file \"%1\" holds %2, which \"Overwrite\" would delete.\n\n"
                        "Overwrite it?")
      .arg(name, counter.count == 1
                     ? QStringLiteral("1 record")
                     : QStringLiteral("%1 records").arg(locale.toString(counter.count)));
}

int frmloggingph::intervalMsAt(int position) {
  if (position < 0 || position >= static_cast<int>(kIntervals.size()))
    return 0;
  return kIntervals[position].milliseconds;
}

QString dailyFileName(const QString &path, const QDate &date) {
  const QFileInfo info(path);
  const QString suffix = info.suffix();
  const QString stem = suffix.isEmpty() ? info.fileName() : info.completeBaseName();
  const QString name = stem + QLatin1Char('-') + date.toString(Qt::ISODate) +
                       (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
  return info.path() == QLatin1String(".") && !path.startsWith(QLatin1String("./"))
             ? name
             : QDir(info.path()).filePath(name);
}

frmloggingph::frmloggingph(tiltdgh::OperatorMessages &messages, const QLocale &locale,
                           QWidget *parent)
    : QDialog(parent), m_messages(messages), m_chooser(chooseLogFile) {
  setObjectName(QStringLiteral("frmloggingph"));
  setWindowTitle(QStringLiteral("Logger"));
  setAccessibleName(QStringLiteral("Logger"));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);

  // Created first so that it leads the focus chain: "OK" comes first in the tab order.
  m_cmdExit = new QPushButton(QStringLiteral("OK"), this);
  m_cmdExit->setObjectName(QStringLiteral("cmdExit"));

  buildFrame(locale);

  m_cmdSelect = new QPushButton(QStringLiteral("Select File"));
  m_cmdSelect->setObjectName(QStringLiteral("cmdSelect"));
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cmdSelect);
  buttons->addWidget(m_cmdExit);
  buttons->addStretch();

  // Not one of the dialog's own choices of old: it comes after them all.
  m_chkDaily = new QCheckBox(QStringLiteral("New file each day"));
  m_chkDaily->setObjectName(QStringLiteral("chkDaily"));
  m_chkDaily->setToolTip(QStringLiteral(
      "At local midnight the records go on in <name>-YYYY-MM-DD<ext>, with a header of its own"));

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(m_frame1);
  layout->addLayout(buttons);
  layout->addWidget(m_chkDaily);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // "OK" also takes the focus when the dialog shows.
  setTabOrder(m_cmdExit, m_noSave);
  setTabOrder(m_noSave, m_writeToFile);
  setTabOrder(m_writeToFile, m_append);
  setTabOrder(m_append, m_overwrite);
  setTabOrder(m_overwrite, m_cmbInterval);
  setTabOrder(m_cmbInterval, m_cmdSelect);
  m_cmdExit->setFocus();

  // The rules follow the selection however it changes (mouse, keyboard, an accessibility action,
  // the program); a click on the selected button applies them again. They read only the
  // buttons' states, so running twice for one change gives the same result.
  connect(m_optDatafile, &QButtonGroup::idToggled, this, &frmloggingph::applyEnablingRules);
  connect(m_optDatafile, &QButtonGroup::idClicked, this, &frmloggingph::applyEnablingRules);
  connect(m_cmdSelect, &QPushButton::clicked, this, &frmloggingph::selectFile);
  connect(m_cmdExit, &QPushButton::clicked, this, &frmloggingph::startLogging);

  m_noSave->setChecked(true);
  applyEnablingRules();
}

void frmloggingph::buildFrame(const QLocale &locale) {
  m_frame1 = new QGroupBox(QStringLiteral("Log File Parameters:"));
  m_frame1->setObjectName(QStringLiteral("Frame1"));
  m_noSave = option(QStringLiteral("No Save"), QStringLiteral("optDatafile_0"));
  m_writeToFile = option(QStringLiteral("Write to File"), QStringLiteral("optDatafile_1"));
  m_append = option(QStringLiteral("Append"), QStringLiteral("optAppend_0"));
  m_overwrite = option(QStringLiteral("Overwrite"), QStringLiteral("optAppend_1"));

  // The append buttons stand inside the frame but form a group of their own: the button groups,
  // not the parent widget, decide which buttons exclude each other.
  m_optDatafile = new QButtonGroup(this);
  m_optDatafile->setObjectName(QStringLiteral("optDatafile"));
  m_optDatafile->addButton(m_noSave, 0);
  m_optDatafile->addButton(m_writeToFile, 1);
  m_optAppend = new QButtonGroup(this);
  m_optAppend->setObjectName(QStringLiteral("optAppend"));
  m_optAppend->addButton(m_append, 0);
  m_optAppend->addButton(m_overwrite, 1);

  m_label1 = new QLabel(QStringLiteral("Logging Interval(sec)"));
  m_label1->setObjectName(QStringLiteral("Label1"));
  m_cmbInterval = new QComboBox;
  m_cmbInterval->setObjectName(QStringLiteral("cmbInterval"));
  m_cmbInterval->setAccessibleName(m_label1->text());
  m_label1->setBuddy(m_cmbInterval);
  for (const IntervalEntry &entry : kIntervals)
    m_cmbInterval->addItem(common::generalNumber(entry.seconds, locale));
  m_cmbInterval->setCurrentIndex(-1);

  auto *options = new QVBoxLayout;
  options->addWidget(m_noSave);
  options->addWidget(m_writeToFile);
  auto *indented = new QVBoxLayout;
  indented->setContentsMargins(24, 0, 0, 0);
  indented->addWidget(m_append);
  indented->addWidget(m_overwrite);
  options->addLayout(indented);
  options->addStretch();
  auto *interval = new QVBoxLayout;
  interval->addWidget(m_label1);
  interval->addWidget(m_cmbInterval);
  interval->addStretch();
  auto *frameLayout = new QHBoxLayout(m_frame1);
  frameLayout->addLayout(options);
  frameLayout->addSpacing(24);
  frameLayout->addLayout(interval);
}

void frmloggingph::applyEnablingRules() {
  const bool noSave = m_noSave->isChecked();
  m_append->setEnabled(!noSave);
  m_overwrite->setEnabled(!noSave);
  m_cmdSelect->setEnabled(!noSave);
  m_cmdExit->setEnabled(noSave);
  if (m_chkDaily)
    m_chkDaily->setEnabled(!noSave);
}

void frmloggingph::selectFile() {
  const QString name = m_chooser ? m_chooser(this, m_logFileName) : QString();
  if (name.isEmpty())
    return;
  m_logFileName = name;
  m_cmdExit->setEnabled(true);
  emit logFileNameChanged(name);
}

void frmloggingph::startLogging() {
  LogChoice choice;
  choice.writeToFile = m_writeToFile->isChecked();
  if (choice.writeToFile) {
    if (m_append->isChecked())
      choice.append = true;
    else if (!m_overwrite->isChecked())
      return;
  }
  const int position = m_cmbInterval->currentIndex();
  if (position < 0) {
    m_messages.showMessage(QStringLiteral("Please enter a time interval for the log file"));
    return;
  }
  choice.fileName = m_logFileName;
  choice.intervalMs = intervalMsAt(position);
  choice.daily = choice.writeToFile && m_chkDaily->isChecked();
  const QString first =
      choice.daily ? dailyFileName(choice.fileName, QDate::currentDate()) : choice.fileName;
  if (choice.writeToFile && !choice.append && !overwriteConfirmed(first))
    return;
  emit loggingRequested(choice);
}

bool frmloggingph::overwriteConfirmed(const QString &path) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor); // a long log takes a while to count
  const QString question = overwriteQuestion(path);
  QGuiApplication::restoreOverrideCursor();
  if (question.isEmpty())
    return true;
  QMessageBox box(QMessageBox::Warning, windowTitle(), question,
                  QMessageBox::Yes | QMessageBox::Cancel, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("Overwrite"));
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Yes;
}

void frmloggingph::closeEvent(QCloseEvent *event) {
  emit discarded();
  QDialog::closeEvent(event);
}

void frmloggingph::keyPressEvent(QKeyEvent *event) {
  // Escape would close (and so discard) the dialog; only the window's close button does that.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

ChosenFileCheck checkChosenLogFile(const QString &path) {
  const QFileInfo info(path);
  if (!info.absoluteDir().exists())
    return ChosenFileCheck::FolderMissing;
  if (!info.exists())
    return ChosenFileCheck::AskToCreate;
  return ChosenFileCheck::Accept;
}

void prepareLogFileChooser(QFileDialog &chooser, const QString &preset) {
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  // An existing file is taken as it is: Append or Overwrite decides what becomes of it.
  chooser.setOption(QFileDialog::DontConfirmOverwrite);
  // The one filter is described as "All Files (*.*) " and matches every file: the last
  // parentheses hold the pattern, "*", which also matches names without a dot, and are not shown.
  chooser.setOption(QFileDialog::HideNameFilterDetails);
  chooser.setNameFilter(QStringLiteral("All Files (*.*) (*)"));
  if (!preset.isEmpty())
    chooser.selectFile(preset);
}

QString chooseLogFile(QWidget *parent, const QString &preset) {
  const QString title = QStringLiteral("Select File");
  QString current = preset;
  for (;;) {
    QFileDialog chooser(parent, title);
    prepareLogFileChooser(chooser, current);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
      return preset;
    const QString path = chooser.selectedFiles().constFirst();
    switch (checkChosenLogFile(path)) {
    case ChosenFileCheck::Accept:
      return path;
    case ChosenFileCheck::FolderMissing:
      QMessageBox::warning(parent, title,
                           QStringLiteral("The folder \"%1\" does not exist.")
                               .arg(QDir::toNativeSeparators(QFileInfo(path).path())));
      break;
    case ChosenFileCheck::AskToCreate:
      if (QMessageBox::question(
              parent, title,
              QStringLiteral("The file \"%1\" does not exist.\nDo you want to create it?")
                  .arg(QDir::toNativeSeparators(path))) == QMessageBox::Yes)
        return path;
      break;
    }
    current = path;
  }
}

} // namespace logging
