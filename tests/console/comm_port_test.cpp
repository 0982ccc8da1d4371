#include "console/frm_main.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recorders.h"

#include <QAction>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <optional>

namespace {

// A line whose port numbers open as the test says: by default every number opens.
class PortTableLine final : public tiltdgh::SerialLine {
public:
  QMap<int, tiltdgh::PortError> results;
  QStringList journal;

  int commPort() const override { return m_port; }
  void setCommPort(int port) override {
    m_port = port;
    journal << QStringLiteral("port %1").arg(port);
  }
  tiltdgh::PortError open() override {
    if (m_open)
      return tiltdgh::PortError::PortInUse;
    const tiltdgh::PortError result = results.value(m_port, tiltdgh::PortError::None);
    journal << QStringLiteral("open %1 %2").arg(m_port).arg(int(result));
    m_open = result == tiltdgh::PortError::None;
    return result;
  }
  void close() override {
    if (m_open)
      journal << QStringLiteral("close %1").arg(m_port);
    m_open = false;
  }
  bool portOpen() override { return m_open; }
  void output(const QByteArray &) override {}
  void setInputLen(int) override {}
  int inBufferCount() override { return 0; }
  QByteArray input() override { return {}; }
  QString deviceName() const override { return QStringLiteral("/dev/ttyS%1").arg(m_port - 1); }
  QString lastErrorText() const override { return QStringLiteral("No such file or directory"); }

private:
  int m_port = 1;
  bool m_open = false;
};

constexpr auto Invalid = tiltdgh::PortError::InvalidPort;
constexpr auto InUse = tiltdgh::PortError::PortInUse;
constexpr auto Other = tiltdgh::PortError::Other;

class CommPort : public ::testing::Test {
protected:
  std::unique_ptr<frmMain> makeWindow() {
    FrmMainServices s;
    s.messages = &messages;
    s.askText = [this](const QString &prompt, const QString &title) -> std::optional<QString> {
      asked << title + QStringLiteral(" / ") + prompt;
      openWhenAsked.push_back(line.portOpen());
      if (answers.empty() || !answers.front()) {
        if (!answers.empty())
          answers.pop_front();
        return std::nullopt;
      }
      const QString answer = *answers.front();
      answers.pop_front();
      return answer;
    };
    return std::make_unique<frmMain>(line, clock, s);
  }

  testsupport::FakeClock clock;
  PortTableLine line;
  testsupport::RecordingMessages messages;
  std::deque<std::optional<QString>> answers;
  QStringList asked;
  std::vector<bool> openWhenAsked;
};

TEST_F(CommPort, EachAnswerEndsInItsOwnPortState) {
  struct Row {
    std::optional<QString> answer;
    int portAfter;
    bool openAfter;
    const char *message; // nullptr: no message
  };
  const Row rows[] = {
      {"2", 2, true, nullptr},
      {"1", 1, true, nullptr}, // the open port itself: closed, then opened again
      {"2.5", 2, true, nullptr},
      {"3.5", 4, true, nullptr},
      {" 6 ", 6, true, nullptr},
      {"9", 9, false, "Invalid ComPort #, please select another one."},
      {"5", 5, false, "Port is already open, please select another one."},
      {"7", 7, false, nullptr},          // any other failure: no message
      {std::nullopt, 1, false, nullptr}, // Cancel
      {"", 1, false, nullptr},
      {"two", 1, false, nullptr},
      {"3x", 1, false, nullptr},
      {"70000", 1, false, nullptr},
      {"-32769", 1, false, nullptr},
      {"32768", 1, false, nullptr},
      {"32767.5", 1, false, nullptr}, // rounds to 32768
      {"32767", 32767, true, nullptr},
      {"-32768", -32768, false, "Invalid ComPort #, please select another one."},
      {"0", 0, false, "Invalid ComPort #, please select another one."},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.answer.value_or("<Cancel>").toStdString());
    line.results = {{9, Invalid}, {5, InUse}, {7, Other}, {0, Invalid}, {-32768, Invalid}};
    line.setCommPort(1);
    auto window = makeWindow();
    ASSERT_TRUE(window->load());
    messages.shown.clear();
    openWhenAsked.clear();
    answers = {row.answer};

    window->findChild<QAction *>("mnuComPort")->trigger();

    ASSERT_EQ(openWhenAsked.size(), 1u);
    EXPECT_FALSE(openWhenAsked[0]) << "the port is closed before the question";
    EXPECT_EQ(asked.last(), "Commport Setup / Enter Commport Number");
    EXPECT_EQ(line.commPort(), row.portAfter);
    EXPECT_EQ(line.portOpen(), row.openAfter);
    if (row.message) {
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_EQ(messages.shown[0].text, row.message);
      EXPECT_EQ(messages.shown[0].title, "");
    } else {
      EXPECT_TRUE(messages.shown.empty());
    }
  }
}

TEST_F(CommPort, PortOneMissingAtStartIsExplainedAndAnotherCanBeChosen) {
  line.results = {{1, Invalid}, {3, Invalid}};
  answers = {"3", "abc", "2"};
  auto window = makeWindow();
  ASSERT_TRUE(window->load());
  EXPECT_TRUE(line.portOpen());
  EXPECT_EQ(line.commPort(), 2);
  ASSERT_EQ(messages.shown.size(), 3u); // port 1, port 3, and port 3 again after "abc"
  EXPECT_TRUE(messages.shown[0].text.contains("/dev/ttyS0"));
  EXPECT_TRUE(messages.shown[0].text.contains("No such file or directory"));
  EXPECT_TRUE(messages.shown[1].text.contains("/dev/ttyS2"));
}

TEST_F(CommPort, CancelAtStartEndsTheProgram) {
  line.results = {{1, InUse}};
  auto window = makeWindow();
  EXPECT_FALSE(window->load());
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(asked, QStringList({"Commport Setup / Enter Commport Number"}));
}

TEST_F(CommPort, MissingPicturesStopTheStartWithTheirName) {
  QTemporaryDir empty;
  FrmMainServices s;
  s.messages = &messages;
  s.iconsDir = empty.path();
  frmMain window(line, clock, s);
  EXPECT_FALSE(window.load());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.contains("OSTRA LOGO4.gif"));
}

} // namespace
