#include "logging_test_support.h"

#include "logging/frmloggingph.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {

using logtest::fileBytes;
using logtest::Harness;

// The dialog's controls by object name.
struct Controls {
  explicit Controls(logging::frmloggingph *d)
      : noSave(find<QRadioButton>(d, "optDatafile_0")),
        writeToFile(find<QRadioButton>(d, "optDatafile_1")),
        append(find<QRadioButton>(d, "optAppend_0")),
        overwrite(find<QRadioButton>(d, "optAppend_1")),
        interval(find<QComboBox>(d, "cmbInterval")), select(find<QPushButton>(d, "cmdSelect")),
        ok(find<QPushButton>(d, "cmdExit")) {}

  template <class T> static T *find(QWidget *d, const char *name) {
    T *w = d->findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  QRadioButton *noSave, *writeToFile, *append, *overwrite;
  QComboBox *interval;
  QPushButton *select, *ok;
};

// A harness whose "Select File" chooser returns `chosen`, or its preset when `chosen` is empty
// (a cancelled chooser).
struct DialogHarness : Harness {
  DialogHarness() {
    controller->setFileChooser([this](QWidget *, const QString &preset) {
      ++chooserCalls;
      lastPreset = preset;
      return chosen.isEmpty() ? preset : chosen;
    });
    controller->setup();
  }
  Controls controls() const { return Controls(controller->dialog()); }
  QString chosen;
  QString lastPreset;
  int chooserCalls = 0;
};

// Presses OK and answers the box it opens with `answer`; returns the box's text, empty when OK
// opened none.
QString pressOk(QPushButton *ok, QMessageBox::StandardButton answer) {
  QString asked;
  QTimer::singleShot(0, [&] {
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
      asked = box->text();
      box->button(answer)->click();
    }
  });
  ok->click();
  QCoreApplication::processEvents(); // runs the answer when no box was there to run it
  return asked;
}

TEST(frmloggingph, FirstShowingSelectsNoSaveAndOkAsksForAnInterval) {
  DialogHarness h;
  logging::frmloggingph *dialog = h.controller->dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->objectName(), "frmloggingph");
  EXPECT_EQ(dialog->windowTitle(), "Logger");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(dialog->isModal());
  Controls c = h.controls();
  EXPECT_TRUE(c.noSave->isChecked());
  EXPECT_FALSE(c.append->isChecked() || c.overwrite->isChecked());
  EXPECT_FALSE(c.append->isEnabled() || c.overwrite->isEnabled() || c.select->isEnabled());
  EXPECT_TRUE(c.ok->isEnabled());
  EXPECT_EQ(c.interval->currentIndex(), -1);
  QList<QWidget *> tabStops;
  for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus)
      tabStops << w;
  // The new-file-each-day box, which is no control of the dialog's of old, comes after them all.
  const QList<QWidget *> order{c.ok,        c.noSave,   c.writeToFile, c.append,
                               c.overwrite, c.interval, c.select,
                               dialog->findChild<QWidget *>("chkDaily")};
  EXPECT_EQ(tabStops, order) << "OK comes first in the tab order";
  EXPECT_EQ(dialog->focusWidget(), c.ok);

  c.ok->click();
  EXPECT_EQ(h.messages.texts, QStringList{"Please enter a time interval for the log file"});
  EXPECT_EQ(h.messages.titles, QStringList{QString()});
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(h.timer->isActive());
  EXPECT_EQ(h.panel4, "Not Logging");
}

TEST(frmloggingph, IntervalListGivesMillisecondsByPositionWhateverTheEntryText) {
  struct Case {
    QLocale locale;
    int position;
    QString text;
    int ms;
  };
  const Case cases[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), 10, "0.1", 100},
      {QLocale(QLocale::English, QLocale::UnitedStates), 0, "60", 60000},
      {QLocale(QLocale::English, QLocale::UnitedStates), 6, "1", 1000},
      {QLocale(QLocale::German, QLocale::Germany), 8, "0,25", 250},
      {QLocale(QLocale::German, QLocale::Germany), 10, "0,1", 100},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    Harness h;
    h.controller->setLocale(c.locale);
    h.controller->setup();
    Controls controls(h.controller->dialog());
    ASSERT_EQ(controls.interval->count(), 11);
    controls.interval->setCurrentIndex(c.position);
    EXPECT_EQ(controls.interval->currentText(), c.text);
    controls.ok->click();
    EXPECT_EQ(h.timer->interval(), c.ms);
    EXPECT_TRUE(h.timer->isActive());
    EXPECT_EQ(h.panel4, "Logging");
    EXPECT_FALSE(h.controller->isFileOpen()) << "No Save opens no file";
    EXPECT_FALSE(h.controller->dialog()->isVisible());
  }
}

TEST(frmloggingph, WriteToFileNeedsAFileAndAModeBeforeOkDoesAnything) {
  QTemporaryDir dir;
  DialogHarness h;
  Controls c = h.controls();
  c.interval->setCurrentIndex(6);

  c.writeToFile->click();
  EXPECT_TRUE(c.append->isEnabled() && c.overwrite->isEnabled() && c.select->isEnabled());
  EXPECT_FALSE(c.ok->isEnabled());

  c.select->click(); // cancelled with nothing chosen before: nothing changes
  EXPECT_EQ(h.chooserCalls, 1);
  EXPECT_FALSE(c.ok->isEnabled());

  h.chosen = dir.filePath("a.csv");
  c.select->click();
  EXPECT_TRUE(c.ok->isEnabled());
  EXPECT_EQ(h.controller->dialog()->logFileName(), h.chosen);

  c.ok->click(); // neither Append nor Overwrite: silently nothing
  EXPECT_TRUE(h.controller->dialog()->isVisible());
  EXPECT_FALSE(h.timer->isActive());
  EXPECT_TRUE(h.messages.texts.isEmpty());
  EXPECT_FALSE(QFile::exists(h.chosen));

  // Clicking "Write to File" again disables OK until a file is supplied; cancelling the
  // chooser then keeps the earlier file, whose name was the chooser's preset.
  c.writeToFile->click();
  EXPECT_FALSE(c.ok->isEnabled());
  h.chosen.clear();
  c.select->click();
  EXPECT_EQ(h.lastPreset, dir.filePath("a.csv"));
  EXPECT_TRUE(c.ok->isEnabled());

  // Back to "No Save": OK at once, and it opens no file.
  c.writeToFile->click();
  c.noSave->click();
  EXPECT_TRUE(c.ok->isEnabled());
  EXPECT_FALSE(c.select->isEnabled());
  c.ok->click();
  EXPECT_TRUE(h.timer->isActive());
  EXPECT_FALSE(h.controller->isFileOpen());
  EXPECT_FALSE(QFile::exists(dir.filePath("a.csv")));
}

TEST(frmloggingph, ASecondRunFromTheSameDialogAppendsASecondHeader) {
  QTemporaryDir dir;
  const QString path = dir.filePath("runs.csv");
  DialogHarness h;
  Controls c = h.controls();
  c.writeToFile->click();
  h.chosen = path;
  c.select->click();
  c.append->click();
  c.interval->setCurrentIndex(6);
  c.ok->click();
  ASSERT_TRUE(h.controller->isFileOpen());
  EXPECT_EQ(h.timer->interval(), 1000);
  EXPECT_EQ(h.panel1, path);
  h.controller->writeTick();
  h.controller->stopLogging();

  h.controller->setup();
  ASSERT_EQ(h.controller->dialog(), c.ok->window()) << "the same dialog, shown again";
  EXPECT_TRUE(c.writeToFile->isChecked() && c.append->isChecked());
  EXPECT_EQ(c.interval->currentIndex(), 6);
  c.ok->click();
  h.controller->writeTick();
  h.controller->stopLogging();

  const QByteArray bytes = fileBytes(path);
  EXPECT_EQ(bytes.count("\"Brellis DGH Contoller Logging Program\""), 2);
  EXPECT_EQ(bytes.count("\"14:05:09\","), 2);

  // The same file with "Overwrite" keeps only the new run, once the operator has said so.
  h.controller->setup();
  c.overwrite->click();
  EXPECT_EQ(pressOk(c.ok, QMessageBox::Yes),
            "The log file \"" + QDir::toNativeSeparators(path) +
                "\" holds 2 records, which \"Overwrite\" would delete.\n\nOverwrite it?");
  ASSERT_TRUE(h.controller->isFileOpen());
  h.controller->stopLogging();
  EXPECT_EQ(fileBytes(path).count("Brellis DGH"), 1);
  EXPECT_EQ(fileBytes(path).count("\"14:05:09\","), 0);
}

// Only what "Overwrite" would lose is asked about; Cancel leaves the file and starts nothing.
TEST(frmloggingph, OverwriteAsksFirstOnlyWhenTheFileHoldsSomething) {
  QTemporaryDir dir;
  const auto write = [&](const char *name, const QByteArray &bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return dir.filePath(name);
  };
  // A log of one record, and a log of 1,200: a run's header and its records as the writer makes
  // them.
  QByteArray oneRecord, manyRecords, headerOnly;
  {
    DialogHarness h;
    Controls c = h.controls();
    const auto run = [&](const char *name, int records) {
      c.writeToFile->click();
      h.chosen = dir.filePath(name);
      c.select->click();
      c.append->click();
      c.interval->setCurrentIndex(6);
      c.ok->click();
      for (int k = 0; k < records; ++k)
        h.controller->writeTick();
      h.controller->stopLogging();
      h.controller->setup();
      return fileBytes(dir.filePath(name));
    };
    oneRecord = run("one.csv", 1);
    manyRecords = run("many.csv", 1200);
    headerOnly = run("header.csv", 0);
  }
  const struct {
    QString path;
    bool append;
    QString asked; // "%1" stands for the path
  } cases[] = {
      {write("a.csv", oneRecord), false,
       "The log file \"%1\" holds 1 record, which \"Overwrite\" would delete.\n\nOverwrite it?"},
      {write("b.csv", manyRecords), false,
       "The log file \"%1\" holds 1,200 records, which \"Overwrite\" would delete.\n\n"
       "Overwrite it?"},
      {write("notes.txt", "shopping list\n"), false,
       "The file \"%1\" is not a log file (it holds 14 bytes), and \"Overwrite\" would delete "
       "what it holds.\n\nOverwrite it?"},
      {write("c.csv", manyRecords), true, ""},
      {write("d.csv", headerOnly), false, ""},
      {write("empty.csv", ""), false, ""},
      {dir.filePath("new.csv"), false, ""},
  };
  for (const auto &t : cases) {
    SCOPED_TRACE(t.path.toStdString());
    const QByteArray before = fileBytes(t.path);
    DialogHarness h;
    Controls c = h.controls();
    c.writeToFile->click();
    h.chosen = t.path;
    c.select->click();
    (t.append ? c.append : c.overwrite)->click();
    c.interval->setCurrentIndex(6);
    const QString asked =
        t.asked.isEmpty() ? QString() : t.asked.arg(QDir::toNativeSeparators(t.path));
    if (!asked.isEmpty()) {
      EXPECT_EQ(pressOk(c.ok, QMessageBox::Cancel), asked);
      EXPECT_FALSE(h.controller->isFileOpen());
      EXPECT_FALSE(h.timer->isActive());
      EXPECT_TRUE(h.controller->dialog()->isVisible());
      EXPECT_EQ(fileBytes(t.path), before) << "Cancel changed the file";
    }
    EXPECT_EQ(pressOk(c.ok, QMessageBox::Yes), asked);
    ASSERT_TRUE(h.controller->isFileOpen());
    h.controller->stopLogging();
    const QByteArray after = fileBytes(t.path);
    if (t.append) {
      EXPECT_TRUE(after.startsWith(before) && after.count("Brellis DGH") == 2);
    } else {
      EXPECT_EQ(after, headerOnly) << "overwritten: the new run's header alone";
    }
  }
}

TEST(frmloggingph, TheCloseButtonDiscardsTheDialogAndTheNextSetupBuildsItAfresh) {
  DialogHarness h;
  Controls c = h.controls();
  c.writeToFile->click();
  c.interval->setCurrentIndex(3);
  QPointer<logging::frmloggingph> first = h.controller->dialog();

  first->close();
  EXPECT_EQ(h.controller->dialog(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_FALSE(h.timer->isActive());
  EXPECT_FALSE(h.setupEnabled);
  EXPECT_TRUE(h.stopEnabled);

  h.controller->stopLogging();
  EXPECT_TRUE(h.notLogging());
  h.controller->setup();
  ASSERT_NE(h.controller->dialog(), nullptr);
  Controls fresh = h.controls();
  EXPECT_TRUE(fresh.noSave->isChecked());
  EXPECT_EQ(fresh.interval->currentIndex(), -1);
  EXPECT_EQ(fresh.interval->count(), 11);
}

TEST(frmloggingph, TheChosenFileOutlivesADialogDiscardedByItsCloseButton) {
  QTemporaryDir dir;
  DialogHarness h;
  h.chosen = dir.filePath("kept.csv");
  Controls c = h.controls();
  c.writeToFile->click();
  c.select->click();
  c.overwrite->click();
  c.interval->setCurrentIndex(6);
  c.ok->click();
  h.controller->stopLogging();

  h.controller->setup();
  h.controller->dialog()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  h.controller->stopLogging();
  h.controller->setup();
  Controls fresh = h.controls();
  fresh.interval->setCurrentIndex(6);
  fresh.ok->click(); // "No Save"
  EXPECT_EQ(h.panel1, h.chosen);
  h.controller->stopLogging();

  h.controller->setup();
  h.chosen.clear(); // the chooser is cancelled: it hands back its preset
  fresh.writeToFile->click();
  EXPECT_FALSE(fresh.ok->isEnabled());
  fresh.select->click();
  EXPECT_EQ(h.lastPreset, dir.filePath("kept.csv"));
  EXPECT_TRUE(fresh.ok->isEnabled());
}

TEST(frmloggingph, TheChooserShowsItsOneFilterAsAllFiles) {
  QFileDialog chooser;
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  logging::prepareLogFileChooser(chooser, QString());
  auto *types = chooser.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 1);
  EXPECT_EQ(types->itemText(0), "All Files (*.*)");
  EXPECT_EQ(chooser.nameFilters(), QStringList{"All Files (*.*) (*)"}) << "matches every file";
}

TEST(frmloggingph, StopLoggingWhileTheDialogIsOpenHidesItAndKeepsItsChoices) {
  DialogHarness h;
  Controls c = h.controls();
  c.interval->setCurrentIndex(2);
  h.controller->stopLogging();
  EXPECT_TRUE(h.notLogging());
  EXPECT_TRUE(h.messages.texts.isEmpty());
  ASSERT_NE(h.controller->dialog(), nullptr);
  EXPECT_FALSE(h.controller->dialog()->isVisible());

  h.controller->setup();
  EXPECT_TRUE(h.controller->dialog()->isVisible());
  EXPECT_EQ(c.interval->currentIndex(), 2);
}

TEST(frmloggingph, DefaultChooserRuleAcceptsExistingFilesAndAsksForNewOnes) {
  QTemporaryDir dir;
  QFile existing(dir.filePath("old.csv"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  using logging::ChosenFileCheck;
  EXPECT_EQ(logging::checkChosenLogFile(dir.filePath("old.csv")), ChosenFileCheck::Accept);
  EXPECT_EQ(logging::checkChosenLogFile(dir.filePath("new.csv")), ChosenFileCheck::AskToCreate);
  EXPECT_EQ(logging::checkChosenLogFile(dir.filePath("none/new.csv")),
            ChosenFileCheck::FolderMissing);
}

} // namespace
