#include "runs/events_journal.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace runs;

namespace {

qint64 at(const char *iso) {
  return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

bool makeLink(const QString &target, const QString &link) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

TEST(EventsJournal, LinesAreCsvWithUtcTimesAndAwkwardTextQuoted) {
  struct Row {
    EventEntry entry;
    QByteArray line;
  };
  const Row rows[] = {
      {{at("2026-12-09T04:12:45.900+01:00"), "started", "", ""},
       "2026-12-09T03:12:45Z,started,,\n"},
      {{at("2026-12-09T03:12:45Z"), "message", "No valid return, thermistor 2", "op"},
       "2026-12-09T03:12:45Z,message,\"No valid return, thermistor 2\",op\n"},
      {{at("2026-12-09T03:12:45Z"), "note", "said \"hi\"\nand left\r", "mqtt:anna"},
       "2026-12-09T03:12:45Z,note,\"said \"\"hi\"\"\nand left\r\",mqtt:anna\n"},
  };
  for (const Row &row : rows)
    EXPECT_EQ(eventLine(row.entry), row.line);
}

TEST(EventsJournal, WrittenToBothJournalsAndReadBackWhole) {
  QTemporaryDir dir;
  const QString standing = dir.filePath("state/brellis/events.csv");
  const QString log = dir.filePath("logs/run.csv");
  const QList<EventEntry> entries = {
      {at("2026-12-09T03:00:00Z"), event::started, "", ""},
      {at("2026-12-09T03:00:01Z"), event::message, "No valid return, \"thermistor\" 2\nretrying",
       ""},
      {at("2026-12-09T03:00:02Z"), event::clockJump, "+3600000 ms", ""},
      {at("2026-12-09T03:00:03Z"), event::note, "", "mqtt:o'brien, j"},
  };
  std::vector<QString> failures;
  {
    EventsJournal journal(standing, [&](const QString &m) { failures.push_back(m); });
    journal.append(entries[0]);
    journal.setLogFile(log);
    EXPECT_EQ(journal.runJournalPath(), log + ".events.csv");
    for (int i = 1; i < entries.size(); ++i)
      journal.append(entries[i]);
    journal.setLogFile({});
  }
  EventsJournal(standing).append(entries[0]); // a later start adds to the same file
  EXPECT_TRUE(failures.empty());
  const QByteArray text = contents(standing);
  EXPECT_TRUE(text.startsWith("time,event,detail,user\n2026-12-09T03:00:00Z,started,,\n"));
  EXPECT_EQ(text.count("time,event"), 1);

  const EventsRead all = readEventsJournal(standing);
  EXPECT_EQ(all.error, "");
  EXPECT_EQ(all.skipped, 0);
  EXPECT_EQ(all.entries, entries + QList<EventEntry>{entries[0]});
  const EventsRead run = readEventsJournal(log + ".events.csv");
  EXPECT_EQ(run.entries, entries.mid(1));
}

TEST(EventsJournal, ReaderSkipsAndCountsWhatIsNotAnEvent) {
  const QByteArray text = "time,event,detail,user\r\n"
                          "2026-12-09T03:00:00Z,started,,\r\n"
                          "2026-12-09T03:00:01Z,port_lost\n"            // three fields short
                          "2026-12-09 03:00:02,port_back,,\n"           // not ISO, no Z
                          "2026-12-09T03:00:03+01:00,port_back,,\n"     // not UTC
                          "2026-12-09T03:00:04Z,,detail,\n"             // no event
                          "2026-12-09T03:00:05Z,note,a\"b,\n"           // stray quote
                          "2026-12-09T03:00:06Z,note,\"two\nlines\",\n" // whole
                          "\n"                                          // empty
                          "2026-12-09T03:00:07Z,message,\"cut off";     // torn last line
  const EventsRead read = parseEventsJournal(text);
  EXPECT_EQ(read.error, "");
  EXPECT_EQ(read.skipped, 7);
  const QList<EventEntry> expected = {{at("2026-12-09T03:00:00Z"), "started", "", ""},
                                      {at("2026-12-09T03:00:06Z"), "note", "two\nlines", ""}};
  EXPECT_EQ(read.entries, expected);
  EXPECT_EQ(parseEventsJournal("time,quantity,event,value,limit,user\n").error,
            "its first line is not \"time,event,detail,user\"");
}

TEST(EventsJournal, AJournalThatCannotBeWrittenIsSaidOnceAndTheOtherGoesOn) {
  QTemporaryDir dir;
  const QString standing = dir.filePath("events.csv");
  const QString elsewhere = dir.filePath("elsewhere.csv");
  ASSERT_TRUE(makeLink(elsewhere, standing));
  const QString log = dir.filePath("run.csv");
  std::vector<QString> failures;
  EventsJournal journal(standing, [&](const QString &m) { failures.push_back(m); });
  journal.setLogFile(log);
  journal.append({at("2026-12-09T03:00:00Z"), event::started, "", ""});
  journal.append({at("2026-12-09T03:00:01Z"), event::portLost, "/dev/ttyUSB0", ""});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0],
            "The events journal " + standing + " cannot be written: " + standing +
                " is a symbolic link, not a regular file");
  EXPECT_EQ(contents(elsewhere), "(missing)");
  EXPECT_EQ(readEventsJournal(log + ".events.csv").entries.size(), 2);

  // Tried again with the next entry, once the link is gone.
  ASSERT_TRUE(QFile::remove(standing));
  journal.append({at("2026-12-09T03:00:02Z"), event::portBack, "/dev/ttyUSB0", ""});
  EXPECT_EQ(contents(standing),
            "time,event,detail,user\n2026-12-09T03:00:02Z,port_back,/dev/ttyUSB0,\n");
  EXPECT_EQ(failures.size(), 1u);
}

TEST(EventsJournal, ReaderRefusesLinksAndFoldersByName) {
  QTemporaryDir dir;
  const QString real = dir.filePath("real.csv");
  EventsJournal(real).append({0, event::started, "", ""});
  const QString link = dir.filePath("link.csv");
  ASSERT_TRUE(makeLink(real, link));
  struct Case {
    QString path;
    QString why;
  };
  const Case cases[] = {{link, link + " is a symbolic link, not a regular file"},
                        {dir.path(), dir.path() + " is a folder, not a regular file"},
                        {dir.filePath("none.csv"), "there is no such file"}};
  for (const Case &c : cases)
    EXPECT_EQ(readEventsJournal(c.path).error,
              "The events journal " + c.path + " cannot be read: " + c.why + ".");
}

} // namespace
