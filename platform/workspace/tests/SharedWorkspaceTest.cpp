#include <gtest/gtest.h>

#include "platform/syslog/SystemLogCapture.h"
#include "platform/workspace/ReviewRequester.h"
#include "platform/workspace/SystemLogReviewRequester.h"
#include "platform/workspace/Workspace.h"
#include "platform/workspace/XdgOpenWorkspace.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace platform {
namespace {

TEST(SharedWorkspaceTest, AnInstalledWorkspaceServesEveryoneUntilTheDefaultIsPutBack) {
  EXPECT_NE(std::dynamic_pointer_cast<XdgOpenWorkspace>(Workspace::shared()), nullptr);

  auto recording = std::make_shared<testing::RecordingWorkspace>();
  Workspace::setShared(recording);
  EXPECT_TRUE(Workspace::shared()->openURL("https://example.com/"));
  EXPECT_EQ(recording->openedURLs(), std::vector<std::string>{"https://example.com/"});

  Workspace::setShared(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<XdgOpenWorkspace>(Workspace::shared()), nullptr);
}

TEST(SharedWorkspaceTest, AnInstalledReviewRequesterServesEveryoneUntilTheDefaultIsPutBack) {
  EXPECT_NE(std::dynamic_pointer_cast<SystemLogReviewRequester>(ReviewRequester::shared()), nullptr);

  auto recording = std::make_shared<testing::RecordingReviewRequester>();
  ReviewRequester::setShared(recording);
  ReviewRequester::shared()->requestReview();
  EXPECT_EQ(recording->requestCount(), 1);

  ReviewRequester::setShared(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<SystemLogReviewRequester>(ReviewRequester::shared()), nullptr);
}

TEST(SharedWorkspaceTest, WithoutADesktopPromptEachReviewRequestLeavesANoticeInTheSystemLog) {
  SystemLogCapture capture;
  SystemLogReviewRequester requester;

  requester.requestReview();
  requester.requestReview();

  const CapturedLogLine notice{5, kReviewRequestedLogLine, true};
  EXPECT_EQ(capture.lines(), (std::vector<CapturedLogLine>{notice, notice}));
}

}  // namespace
}  // namespace platform
