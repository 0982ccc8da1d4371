// The real line through dgh-sim at the fastest rate, beside processor hogs, for minutes: every
// character the host reads is the simulator's own, in the order written, each frame a module
// composed went out whole, and every reply the exchange returns is such a frame. Modules are made late in turn, by
// amounts that put their replies across the next exchange's, where characters of two replies
// could fall between each other.

#include "tests/e2e/dgh_sim_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The line as the exchange uses it, keeping every character input() handed out.
class RecordingLine final : public tiltdgh::SerialLine {
public:
  explicit RecordingLine(tiltdgh::SerialLine &inner) : m_inner(inner) {}
  int commPort() const override { return m_inner.commPort(); }
  void setCommPort(int port) override { m_inner.setCommPort(port); }
  tiltdgh::PortError open() override { return m_inner.open(); }
  void close() override { m_inner.close(); }
  bool portOpen() override { return m_inner.portOpen(); }
  void output(const QByteArray &bytes) override { m_inner.output(bytes); }
  void setInputLen(int count) override { m_inner.setInputLen(count); }
  int inBufferCount() override { return m_inner.inBufferCount(); }
  QByteArray input() override {
    const QByteArray taken = m_inner.input();
    received += taken;
    return taken;
  }

  QByteArray received;

private:
  tiltdgh::SerialLine &m_inner;
};

// Four processor hogs for as long as the object lives: two that spin without entering the
// kernel and two that write without end.
class Hogs {
public:
  Hogs() {
    for (const char *script : {"while :; do :; done", "while :; do :; done",
                               "exec yes >/dev/null", "exec yes >/dev/null"}) {
      auto hog = std::make_unique<QProcess>();
      hog->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(script)});
      hog->waitForStarted();
      m_hogs.push_back(std::move(hog));
    }
  }
  ~Hogs() {
    for (auto &hog : m_hogs) {
      // The process started is the hog itself (`exec` puts `yes` in the shell's place), so nothing
      // is left running once it is killed.
      ::kill(pid_t(hog->processId()), SIGKILL);
      hog->waitForFinished();
    }
  }

private:
  std::vector<std::unique_ptr<QProcess>> m_hogs;
};

struct WriteLog {
  std::vector<QByteArray> frames; // every reply composed, in order
  QByteArray written;             // every character written to the terminal, in order
};

WriteLog readWriteLog(const QString &path) {
  WriteLog log;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return log;
  for (const QByteArray &line : file.readAll().split('\n')) {
    if (line.startsWith("F "))
      log.frames.push_back(QByteArray::fromHex(line.mid(2)));
    else if (line.startsWith("W "))
      log.written += QByteArray::fromHex(line.mid(2));
  }
  return log;
}

int stressSeconds() {
  bool ok = false;
  const int seconds = qEnvironmentVariableIntValue("BRELLIS_STRESS_SECONDS", &ok);
  return ok && seconds > 0 ? seconds : 180;
}

} // namespace

TEST(LineUnderStress, EveryCharacterArrivesAsWrittenAndEveryReplyIsAComposedFrame) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString logPath = dir.filePath(QStringLiteral("written.log"));
  e2e::DghSimProcess sim({"--write-log", logPath});
  ASSERT_FALSE(sim.devicePath().isEmpty()) << sim.errorOutput().toStdString();
  tiltdgh::QSerialLine real(e2e::portOneAt(sim.devicePath()));
  RecordingLine line(real);
  tiltdgh::SteadyClock clock;
  testsupport::RecordingMessages messages;
  tiltdgh::DghLink link{line, clock, messages};
  ASSERT_EQ(line.open(), tiltdgh::PortError::None) << real.lastErrorText().toStdString();

  std::vector<QString> replies;
  {
    const Hogs hogs;
    const char addresses[] = {'1', '2', '3', '5', '6', '7'};
    QElapsedTimer elapsed;
    elapsed.start();
    for (int n = 0; elapsed.elapsed() < stressSeconds() * 1000LL; ++n) {
      // Every 60 exchanges another module is late by another amount: 0 to 44 ms.
      if (n % 60 == 0) {
        const char late = addresses[(n / 60) % 6];
        ASSERT_EQ(sim.control(QStringLiteral("clear")), QStringLiteral("ok"));
        ASSERT_EQ(sim.control(QStringLiteral("late %1=%2").arg(late).arg((n / 60) * 7 % 45)),
                  QStringLiteral("ok"));
      }
      const char address = addresses[n % 6];
      tiltdgh::SendCommand(link, QStringLiteral("$%1RD\r").arg(address));
      replies.push_back(tiltdgh::ReadResponse(link));
    }
  }
  // What is still on its way, then the simulator's end closes its log.
  QThread::msleep(200);
  while (line.inBufferCount() > 0)
    line.input();
  ASSERT_TRUE(sim.endWith(SIGTERM));
  const WriteLog log = readWriteLog(logPath);
  ASSERT_FALSE(log.frames.empty());

  // The terminal, Qt's buffer and the drain: the characters read are those written, in order.
  EXPECT_EQ(line.received.size(), log.written.size());
  EXPECT_TRUE(line.received == log.written) << "first difference at "
                                            << std::mismatch(line.received.begin(),
                                                             line.received.end(),
                                                             log.written.begin(),
                                                             log.written.end())
                                                   .first -
                                                   line.received.begin();

  // The simulator: each composed frame went out whole (a quicker reply may overtake a late one),
  // and nothing but echoed commands is left between them.
  QByteArray rest = log.written;
  QHash<QByteArray, int> composed;
  for (const QByteArray &frame : log.frames) {
    ++composed[frame.chopped(1)];
    const qsizetype found = rest.indexOf(frame);
    ASSERT_GE(found, 0) << "frame " << frame.toStdString() << " not written whole: "
                        << log.written.toPercentEncoding().left(400).toStdString();
    rest.remove(found, frame.size());
  }
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^(\\$[0-9]RD\r)*$"))
                  .match(QString::fromLatin1(rest))
                  .hasMatch())
      << "left between the frames: " << rest.toPercentEncoding().left(400).toStdString();

  // The exchange: a reply is a composed frame, behind which only characters of echoed commands
  // may follow (a late frame taken in by the next exchange's drain). Each echoed character is a
  // burst of its own on the line, so a late frame may fall between the characters of the next
  // command's echo, and what follows it is then the rest of that echo ("\r" alone, say).
  const QRegularExpression echoCharacters(QStringLiteral("^[$0-9RD\r]*$"));
  size_t checked = 0, timeouts = 0;
  for (const QString &reply : replies) {
    if (reply == QLatin1String("TIMEOUT")) {
      ++timeouts;
      continue;
    }
    const QList<QByteArray> parts = reply.toLatin1().split('\r');
    EXPECT_GT(composed.value(parts.front()), 0) << "not a composed frame: " << reply.toStdString();
    --composed[parts.front()];
    const QByteArray behind = reply.toLatin1().mid(parts.front().size());
    EXPECT_TRUE(echoCharacters.match(QString::fromLatin1(behind)).hasMatch())
        << "behind the frame: " << behind.toPercentEncoding().toStdString();
    ++checked;
  }
  std::printf("line under stress: %zu exchanges, %zu replies checked against %zu composed frames, "
              "%zu timeouts, %lld characters compared\n",
              replies.size(), checked, log.frames.size(), timeouts,
              static_cast<long long>(line.received.size()));
  EXPECT_GT(checked, 0u);
}
