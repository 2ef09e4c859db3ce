// The reachability checker over a fake table.

#include "sdk-utilities/reachability/CVUReachabilityChecker.h"

#include <gtest/gtest.h>

#include <vector>

#include "LoggerCapture.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon::testing {
namespace {

using platform::kReachabilityFlagConnectionOnDemand;
using platform::kReachabilityFlagConnectionOnTraffic;
using platform::kReachabilityFlagConnectionRequired;
using platform::kReachabilityFlagInterventionRequired;
using platform::kReachabilityFlagReachable;

struct RecordingDelegate : CVUReachabilityDelegate {
  void reachabilityStatusChanged(CVUReachabilityChecker&, CVUReachabilityStatus status) override {
    statuses.push_back(status);
  }
  std::vector<CVUReachabilityStatus> statuses;
};

class ReachabilityCheckerTest : public LoggerTest {
 protected:
  ReachabilityCheckerTest() {
    CVULoggerSetLevel(kCVULoggerLevelDebug);
    checker = CVUReachabilityChecker::create(delegate, "example.test");
    checker->setReachabilityApi(&FakeReachability::api());
  }
  bool logged(const std::string& code) {
    for (const auto& line : writtenLines()) {
      if (line.text.find("[" + code + "]") != std::string::npos) return true;
    }
    return false;
  }

  FakeReachability& fake = FakeReachability::instance();
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  std::unique_ptr<CVUReachabilityChecker> checker;
};

TEST_F(ReachabilityCheckerTest, FlagsMapToStatuses) {
  const auto status = [&](std::uint32_t flags) { return checker->statusForFlags(flags); };
  EXPECT_EQ(status(kReachabilityFlagReachable), CVUReachabilityStatus::Connected);
  EXPECT_EQ(status(0), CVUReachabilityStatus::Disconnected);
  EXPECT_EQ(status(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired),
            CVUReachabilityStatus::Disconnected);
  EXPECT_EQ(status(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired |
                   kReachabilityFlagConnectionOnTraffic),
            CVUReachabilityStatus::Connected);
  EXPECT_EQ(status(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired |
                   kReachabilityFlagConnectionOnDemand),
            CVUReachabilityStatus::Connected);
  EXPECT_EQ(status(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired |
                   kReachabilityFlagConnectionOnTraffic | kReachabilityFlagInterventionRequired),
            CVUReachabilityStatus::Disconnected);
}

TEST_F(ReachabilityCheckerTest, AnEmptyHostGivesNoChecker) {
  EXPECT_EQ(CVUReachabilityChecker::create(delegate, ""), nullptr);
  EXPECT_TRUE(logged("I-REA902001"));
}

TEST_F(ReachabilityCheckerTest, SecondStartLogsAgainWithoutANewHandle) {
  EXPECT_TRUE(checker->start());
  EXPECT_TRUE(checker->start());
  EXPECT_EQ(fake.creates, 1);
  EXPECT_TRUE(checker->isActive());
  int started = 0;
  for (const auto& line : writtenLines()) started += line.text.find("[I-REA902003]") != std::string::npos;
  EXPECT_EQ(started, 2);
}

TEST_F(ReachabilityCheckerTest, RepeatedFlagsOfOneStatusReachTheDelegateOnce) {
  ASSERT_TRUE(checker->start());
  EXPECT_EQ(checker->reachabilityStatus(), CVUReachabilityStatus::Unknown);
  fake.push(kReachabilityFlagReachable);
  fake.push(kReachabilityFlagReachable | kReachabilityFlagConnectionRequired |
            kReachabilityFlagConnectionOnDemand);
  fake.push(0);
  EXPECT_EQ(delegate->statuses, (std::vector<CVUReachabilityStatus>{CVUReachabilityStatus::Connected,
                                                                    CVUReachabilityStatus::Disconnected}));
  EXPECT_TRUE(logged("I-REA902004"));
  bool namedLine = false;
  for (const auto& line : writtenLines()) {
    namedLine = namedLine || line.text.find("Network status has changed. Code:1, status:Disconnected") !=
                                 std::string::npos;
  }
  EXPECT_TRUE(namedLine);
}

TEST_F(ReachabilityCheckerTest, StopResetsTheStatusAndReleasesTheHandle) {
  ASSERT_TRUE(checker->start());
  fake.push(kReachabilityFlagReachable);
  checker->stop();
  EXPECT_EQ(checker->reachabilityStatus(), CVUReachabilityStatus::Unknown);
  EXPECT_FALSE(checker->isActive());
  EXPECT_EQ(fake.unschedules, 1);
  EXPECT_EQ(fake.releases, 1);
}

TEST_F(ReachabilityCheckerTest, TheTableChangesOnlyWhileStopped) {
  ASSERT_TRUE(checker->start());
  checker->setReachabilityApi(&platform::defaultReachabilityApi());
  EXPECT_EQ(checker->reachabilityApi(), &FakeReachability::api());
  EXPECT_TRUE(logged("I-REA902000"));
  checker->stop();
  checker->setReachabilityApi(&platform::defaultReachabilityApi());
  EXPECT_EQ(checker->reachabilityApi(), &platform::defaultReachabilityApi());
}

TEST_F(ReachabilityCheckerTest, AScheduleRefusalReleasesTheHandleAndFails) {
  fake.refuseSchedule = true;
  EXPECT_FALSE(checker->start());
  EXPECT_FALSE(checker->isActive());
  EXPECT_EQ(fake.releases, 1);
  EXPECT_TRUE(logged("I-REA902002"));
}

}  // namespace
}  // namespace beacon::testing
