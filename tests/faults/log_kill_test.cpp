// The program killed with SIGKILL while logging at 100 ms: the file holds every record that was
// reported written before the kill, each a complete line.

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>

TEST(KilledWhileLogging, EveryRecordWrittenBeforeTheKillIsThereAndWhole) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("killed.csv"));
  QProcess child;
  child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  child.start(QStringLiteral(LOG_KILL_CHILD_PATH), {path});
  ASSERT_TRUE(child.waitForStarted(10000));

  // Let it log for a while (at least 15 records), then kill it between two reports.
  int reported = 0;
  const QDeadlineTimer deadline(60000);
  while (reported < 15 && !deadline.hasExpired()) {
    if (!child.canReadLine() && !child.waitForReadyRead(1000)) {
      ASSERT_EQ(child.state(), QProcess::Running) << child.readAllStandardError().toStdString();
      continue;
    }
    const QByteArray line = child.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("written ")) << line.toStdString();
    reported = line.mid(8).toInt();
  }
  ASSERT_GE(reported, 15);
  ::kill(pid_t(child.processId()), SIGKILL);
  ASSERT_TRUE(child.waitForFinished(10000));
  EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
  // Reports that were on their way when the kill came.
  for (const QByteArray &line : child.readAllStandardOutput().split('\n'))
    if (line.startsWith("written "))
      reported = line.mid(8).toInt();

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray contents = file.readAll();
  ASSERT_TRUE(contents.endsWith("\r\n")) << "the last line is cut off";
  QList<QByteArray> lines = contents.split('\n');
  lines.removeLast(); // after the final line feed
  ASSERT_GT(lines.size(), 16);
  for (const QByteArray &line : lines)
    ASSERT_TRUE(line.endsWith('\r')) << "a line without its CR LF";

  const QList<QByteArray> records = lines.mid(16);
  // Every reported record is there; at most one more was written but not yet reported.
  EXPECT_GE(records.size(), reported);
  EXPECT_LE(records.size(), reported + 1);
  for (qsizetype i = 0; i < records.size(); ++i) {
    const QList<QByteArray> items = records.at(i).chopped(1).split(',');
    ASSERT_EQ(items.size(), 16) << records.at(i).toStdString();
    EXPECT_EQ(items.at(1).toInt(), i + 1) << "records missing or out of order";
    EXPECT_EQ(items.at(4), "2577.7");
    EXPECT_EQ(items.at(10), "\"12.5\"");
  }
}
