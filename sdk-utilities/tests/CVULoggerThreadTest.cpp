#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "sdk-utilities/tests/LoggerCapture.h"

namespace beacon {
namespace {

using CVULoggerThreadTest = testing::LoggerTest;

// Settings change while other threads log and read them. Every error line must come out, each
// thread's lines in the order that thread logged them.
TEST_F(CVULoggerThreadTest, LoggingWhileSettingsChangeLosesAndReordersNothing) {
  constexpr int kWriters = 4;
  constexpr int kLinesEach = 200;
  std::vector<std::thread> threads;
  for (int writer = 0; writer < kWriters; ++writer) {
    threads.emplace_back([writer] {
      for (int i = 0; i < kLinesEach; ++i) {
        CVULoggerLogError("[Test]", false, "I-TST000001", "%d:%d", writer, i);
        CVULoggerLogDebug("[Test]", false, "I-TST000002", "maybe");
      }
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < kLinesEach; ++i) {
      CVULoggerSetLevel(kCVULoggerLevelError + i % 5);
      CVULoggerSetVersion(std::to_string(i));
    }
  });
  for (auto& thread : threads) thread.join();

  std::map<int, int> nextOfWriter;
  for (const platform::CapturedLogLine& line : writtenLines()) {
    const std::size_t code = line.text.find("[I-TST000001] ");
    if (code == std::string::npos) continue;
    int writer = -1;
    int index = -1;
    ASSERT_EQ(std::sscanf(line.text.c_str() + code + 14, "%d:%d", &writer, &index), 2) << line.text;
    EXPECT_EQ(index, nextOfWriter[writer]++) << line.text;
    EXPECT_TRUE(line.passedFilter);
  }
  for (int writer = 0; writer < kWriters; ++writer) EXPECT_EQ(nextOfWriter[writer], kLinesEach);
}

}  // namespace
}  // namespace beacon
