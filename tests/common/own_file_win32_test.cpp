// The Win32 sibling of the program's own files: what Windows does differently from POSIX (file
// sharing, no rename over an open file without FILE_SHARE_DELETE, locks by range, folders that
// CreateFileW will not open) is where it can go wrong.
#include "common/own_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST(OwnFileOnWindows, AppendsWholeLinesAfterTheHeaderAndOnALineOfTheirOwn) {
  QTemporaryDir dir;
  const QString path = dir.filePath("journal.csv");
  const common::AppendOptions options{"time,event\n", true};
  ASSERT_EQ(common::appendWhole(path, "1,raised\n", options).toStdString(), "");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("2,half a line"); // left so by an older program
  }
  ASSERT_EQ(common::appendWhole(path, "3,returned\n", options).toStdString(), "");
  EXPECT_EQ(contents(path), "time,event\n1,raised\n2,half a line\n3,returned\n");
}

// Wine's server refuses to rename over any file that is open, whatever its sharing, where Windows
// allows it when every holder shares deletion.
bool underWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(OwnFileOnWindows, ReplacesAFileThatAReaderHoldsOpenAndTheReaderKeepsTheOldBytes) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.json");
  ASSERT_EQ(common::replaceWhole(path, "old\n").toStdString(), "");
  common::OwnFileReader reader(path);
  ASSERT_TRUE(reader.isOpen()) << reader.error().toStdString();
  const QString replaced = common::replaceWhole(path, "new\n");
  QByteArray line;
  ASSERT_TRUE(reader.readLine(line, 100));
  EXPECT_EQ(line, "old");
  if (underWine()) {
    // The replace fails, says so, and leaves the old file whole.
    EXPECT_TRUE(replaced.startsWith(QDir::toNativeSeparators(path) + ": "))
        << replaced.toStdString();
    EXPECT_EQ(common::readOwnFile(path, 100).bytes, "old\n");
  } else {
    EXPECT_EQ(replaced.toStdString(), "");
    EXPECT_EQ(common::readOwnFile(path, 100).bytes, "new\n");
  }
  EXPECT_TRUE(QDir(dir.path()).entryList({"*.new"}).isEmpty()) << "the temporary file was left";
}

TEST(OwnFileOnWindows, RefusesWhatIsNotARegularFileAndSaysWhatIsMissingOrTooLarge) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("folder");
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString refusal = QDir::toNativeSeparators(folder) + " is a folder, not a regular file";
  EXPECT_EQ(common::ownFileRefusal(folder), refusal);
  EXPECT_EQ(common::readOwnFile(folder, 100).error, refusal);
  EXPECT_EQ(common::appendWhole(folder, "x\n"), refusal);
  EXPECT_EQ(common::replaceWhole(folder, "x\n"), refusal);

  const common::OwnFileRead missing = common::readOwnFile(dir.filePath("none"), 100);
  EXPECT_TRUE(missing.missing);
  EXPECT_EQ(missing.error, QString());

  const QString big = dir.filePath("big");
  ASSERT_EQ(common::replaceWhole(big, QByteArray(20, 'x')).toStdString(), "");
  EXPECT_NE(common::readOwnFile(big, 10).error, QString());
  const common::OwnFileRead start = common::readOwnFile(big, 10, true);
  EXPECT_EQ(start.bytes, QByteArray(10, 'x'));
  EXPECT_TRUE(start.truncated);
}

TEST(OwnFileOnWindows, ALockIsHeldAgainstASecondHolderUntilReleased) {
  QTemporaryDir dir;
  const QString path = dir.filePath("lock");
  {
    common::OwnFileLock first(path, 0);
    ASSERT_EQ(first.error(), QString());
    common::OwnFileLock second(path, 100);
    EXPECT_EQ(second.error(), "another program holds " + QDir::toNativeSeparators(path));
  }
  common::OwnFileLock again(path, 0);
  EXPECT_EQ(again.error(), QString());
}

} // namespace
