// The installed services are looked up from every queue of the engine while start-up replaces them:
// lookups and replacement may race, and a sink being replaced still finishes the lines handed to it.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "measurement/engine/BMSEngineServices.h"

namespace beacon {
namespace {

class CountingLogSink : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t, std::int64_t, const std::string&,
                    const std::vector<platform::Value>&) override {
    ++lines;
  }
  std::atomic<int> lines = 0;
};

TEST(EngineServicesThreads, LoggingWhileSinksAreReplacedLosesNoLineToAnInstalledSink) {
  constexpr int kLoggers = 4;
  constexpr int kLinesEach = 2000;
  auto first = std::make_shared<CountingLogSink>();
  auto second = std::make_shared<CountingLogSink>();
  BMSEngineServices::setLogSink(first);
  std::vector<std::thread> loggers;
  for (int i = 0; i < kLoggers; ++i) {
    loggers.emplace_back([] {
      for (int line = 0; line < kLinesEach; ++line) {
        BMSLog(3, 13000, "line", {line});
        BMSEngineServices::parameterLimits()->maxPublicEventParams();
      }
    });
  }
  for (int swap = 0; swap < 200; ++swap) BMSEngineServices::setLogSink(swap % 2 ? first : second);
  BMSEngineServices::setLogSink(first);
  for (auto& logger : loggers) logger.join();
  BMSEngineServices::setLogSink(nullptr);
  EXPECT_EQ(first->lines + second->lines, kLoggers * kLinesEach);
}

}  // namespace
}  // namespace beacon
