#pragma once

#include "state/operator_messages.h"

#include <QDialog>
#include <QLocale>
#include <QString>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace logging {

// What the operator chose when pressing OK.
struct LogChoice {
  bool writeToFile = false;
  bool append = false; // meaningful only with writeToFile; false means output (overwrite)
  QString fileName;    // logFileName: the file last chosen, possibly from an earlier showing
  int intervalMs = 0;  // from the chosen position of the interval list
  // A new file each day: the records of each local date go to dailyFileName(fileName, date).
  bool daily = false;
};

// "<name>-YYYY-MM-DD<ext>" of `path` for `date`: "/data/run.csv" gives "/data/run-2026-12-09.csv";
// a name without an extension gets the date at its end.
QString dailyFileName(const QString &path, const QDate &date);

// The file chooser behind "Select File": called with the dialog as parent and the preset name
// (logFileName); returns the chooser's name when it closes: the chosen path, or the preset when
// the operator cancelled.
using LogFileChooser = std::function<QString(QWidget *parent, const QString &preset)>;

// The log set-up dialog "Logger": whether and where to log, append or overwrite, and the
// interval. Modeless. OK checks the choice and hands it on through loggingRequested(); whoever
// starts logging hides the dialog. OK with "Overwrite" on a file that holds records (or that is
// no log file and not empty) asks first, and does nothing unless the operator says "Overwrite". The window's close button discards the dialog (it deletes
// itself) and emits discarded() first.
class frmloggingph : public QDialog {
  Q_OBJECT
public:
  frmloggingph(tiltdgh::OperatorMessages &messages, const QLocale &locale,
               QWidget *parent = nullptr);

  void setFileChooser(LogFileChooser chooser) { m_chooser = std::move(chooser); }
  QString logFileName() const { return m_logFileName; }
  // Presets logFileName, for a dialog built afresh after its close button discarded the one
  // before: "Select File" offers the name and a "No Save" OK shows it, but "OK" stays disabled
  // under "Write to File" until "Select File" supplies a name.
  void setLogFileName(const QString &name) { m_logFileName = name; }

  // The interval in milliseconds of each list position, 0 (60 s) to 10 (0.1 s).
  static int intervalMsAt(int position);

public slots:
  // The "OK" button.
  void startLogging();
  // The "Select File" button.
  void selectFile();

signals:
  void loggingRequested(const logging::LogChoice &choice);
  void logFileNameChanged(const QString &name);
  void discarded();

protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  // True when `path` may be emptied: it holds no records, or the operator said "Overwrite".
  bool overwriteConfirmed(const QString &path);
  // "Log File Parameters:": the file and append choices and the interval.
  void buildFrame(const QLocale &locale);
  void applyEnablingRules();

  tiltdgh::OperatorMessages &m_messages;
  LogFileChooser m_chooser;
  QString m_logFileName;

  QGroupBox *m_frame1 = nullptr;
  QButtonGroup *m_optDatafile = nullptr;
  QButtonGroup *m_optAppend = nullptr;
  QRadioButton *m_noSave = nullptr;
  QRadioButton *m_writeToFile = nullptr;
  QRadioButton *m_append = nullptr;
  QRadioButton *m_overwrite = nullptr;
  QLabel *m_label1 = nullptr;
  QComboBox *m_cmbInterval = nullptr;
  QCheckBox *m_chkDaily = nullptr; // "New file each day", after the others; off by default
  QPushButton *m_cmdSelect = nullptr;
  QPushButton *m_cmdExit = nullptr;
};

// The default chooser: a file dialog with the one filter "All Files (*.*) " matching every file,
// preset with `preset`, that accepts only a name in an existing folder and asks before taking
// the name of a file that does not exist yet. An existing file is taken without a question.
QString chooseLogFile(QWidget *parent, const QString &preset);
// Sets up `chooser` as the default chooser shows it.
void prepareLogFileChooser(QFileDialog &chooser, const QString &preset);

// What OK with "Overwrite" asks before emptying `path`: the file's name and how many records it
// holds, counted in bounded memory; empty when nothing would be lost (no file, an empty file, a
// header without records, or something other than a regular file).
QString overwriteQuestion(const QString &path);

// The rule the default chooser applies to the name the operator typed or picked.
enum class ChosenFileCheck { Accept, FolderMissing, AskToCreate };
ChosenFileCheck checkChosenLogFile(const QString &path);

} // namespace logging
