#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <string>

#include "platform/syslog/SystemLogCapture.h"
#include "platform/syslog/SystemLogClient.h"

namespace platform {
namespace {

// A pipe whose read end the test drains after the writes (the lines are far below its capacity).
class Pipe {
 public:
  Pipe() {
    EXPECT_EQ(pipe2(fds_.data(), O_CLOEXEC), 0);
    fcntl(fds_[0], F_SETFL, O_NONBLOCK);
  }
  ~Pipe() {
    closeReadEnd();
    close(fds_[1]);
  }
  int writeEnd() const { return fds_[1]; }
  void closeReadEnd() {
    if (fds_[0] >= 0) close(fds_[0]);
    fds_[0] = -1;
  }
  std::string drain() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds_[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
  }

 private:
  std::array<int, 2> fds_{-1, -1};
};

TEST(SystemLogClient, TheFilterMaskDecidesWhatReachesTheSystemLog) {
  static_assert(SystemLogClient::maskUpTo(3) == 15 && SystemLogClient::maskUpTo(7) == 255);
  SystemLogCapture capture;
  SystemLogClient client("org.example.utilities.logger");
  EXPECT_EQ(client.filterMask(), 63);
  client.write(5, "notice passes by default");
  client.write(6, "info is held back by default");
  client.setFilterMask(SystemLogClient::maskUpTo(3));
  client.write(3, "error");
  client.write(4, "warning");
  client.setFilterMask(1 << 7);  // a mask need not be contiguous
  client.write(7, "debug only");
  client.write(0, "emergency");

  const std::vector<CapturedLogLine> expected{
      {5, "notice passes by default", true},
      {6, "info is held back by default", false},
      {3, "error", true},
      {4, "warning", false},
      {7, "debug only", true},
      {0, "emergency", false},
  };
  EXPECT_EQ(capture.lines(), expected);
}

TEST(SystemLogClient, LevelsOutsideTheRangeTakeTheNearestValidLevel) {
  SystemLogCapture capture;
  SystemLogClient client("t");
  client.setFilterMask(SystemLogClient::maskUpTo(0));
  client.write(-4, "below");
  client.write(8 | 3, "above");  // would name another facility if passed on unchecked
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[0], (CapturedLogLine{0, "below", true}));
  EXPECT_EQ(capture.lines()[1], (CapturedLogLine{7, "above", false}));
}

TEST(SystemLogClient, DescriptorsReceiveEveryLineWhateverTheMask) {
  SystemLogCapture capture;
  Pipe pipe;
  SystemLogClient client("t");
  client.addDescriptor(pipe.writeEnd());
  client.addDescriptor(pipe.writeEnd());  // once is enough
  client.addDescriptor(-1);
  client.setFilterMask(SystemLogClient::maskUpTo(3));
  client.write(3, "kept");
  client.write(7, "filtered from the system log");
  client.write(5, "");
  EXPECT_EQ(pipe.drain(), "kept\nfiltered from the system log\n\n");
}

TEST(SystemLogClient, AReaderThatWentAwayDoesNotEndTheProcess) {
  SystemLogCapture capture;
  Pipe pipe;
  pipe.closeReadEnd();
  SystemLogClient client("t");
  client.addDescriptor(pipe.writeEnd());
  client.write(3, "into a broken pipe");
  client.write(3, "and again");
  EXPECT_EQ(capture.lines().size(), 2u) << "the process survived and kept logging";
}

TEST(SystemLogClient, OnlyAnEchoingClientWritesToTheConsole) {
  testing::internal::CaptureStderr();
  SystemLogClient("loud", {.echoToStandardError = true}).write(7, "on the console, filtered or not");
  // Without a capture this line goes to syslog(3); whether the machine has a system log or not,
  // nothing of it may reach the console.
  SystemLogClient("org.example.velloran.tests").write(3, "to the system log, if there is one");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "on the console, filtered or not\n");
}

TEST(SystemLogCapture, ANewerCaptureTakesOverUntilItEnds) {
  SystemLogClient client("t");
  SystemLogCapture outer;
  client.write(3, "one");
  {
    SystemLogCapture inner;
    client.write(3, "two");
    EXPECT_EQ(inner.lines(), (std::vector<CapturedLogLine>{{3, "two", true}}));
  }
  client.write(3, "three");
  EXPECT_EQ(outer.lines(), (std::vector<CapturedLogLine>{{3, "one", true}, {3, "three", true}}));
}

}  // namespace
}  // namespace platform
