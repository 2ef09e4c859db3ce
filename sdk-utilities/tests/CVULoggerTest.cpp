#include "sdk-utilities/logger/CVULogger.h"

#include <gtest/gtest.h>

#include "platform/testing/TestEnvironment.h"
#include "sdk-utilities/logger/CVULoggerWrapper.h"
#include "sdk-utilities/tests/LoggerCapture.h"

namespace beacon {
namespace {

using CVULoggerTest = testing::LoggerTest;
using platform::CapturedLogLine;
using Lines = std::vector<CapturedLogLine>;

TEST_F(CVULoggerTest, ByDefaultErrorsAreWrittenAndDebugIsDropped) {
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelNotice);
  CVULoggerLogDebug("[Test]", false, "I-TST000001", "quiet %@", "detail");
  CVULoggerLogInfo("[Test]", false, "I-TST000002", "quiet too");
  CVULoggerLogError("[Test]", false, "I-TST000003", "broken %@ after %ld tries", "upload", 3);
  CVULoggerLogNotice("[Test]", false, "I-TST000004", "noted");
  // No version prefix has been set, so the line begins with " - ".
  EXPECT_EQ(writtenLines(), (Lines{line(3, " - [Test][I-TST000003] broken upload after 3 tries"),
                                   line(5, " - [Test][I-TST000004] noted")}));
}

TEST_F(CVULoggerTest, LinesCarryVersionServiceCodeAndTextAtTheirLevel) {
  CVULoggerSetVersion("12.4.0");
  CVULoggerSetLevel(kCVULoggerLevelDebug);
  CVULoggerLogDebug("[BeaconCore]", false, "I-COR000001", "Configuring the default app.");
  CVULoggerLogWarning("<CorvaneUtilities>", false, "I-CVU000002",
                      "Cannot set object for invalid user default key.");
  EXPECT_EQ(
      writtenLines(),
      (Lines{
          line(7, "12.4.0 - [BeaconCore][I-COR000001] Configuring the default app."),
          line(4,
               "12.4.0 - <CorvaneUtilities>[I-CVU000002] Cannot set object for invalid user default key.")}));
}

TEST_F(CVULoggerTest, AnInvalidLevelIsReportedAndKeepsTheOldLevel) {
  CVULoggerSetLevel(kCVULoggerLevelWarning);
  CVULoggerSetLevel(8);
  CVULoggerSetLevel(2);
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelWarning);
  EXPECT_EQ(writtenLines(), (Lines{line(3, " - [CVULogger][I-COR000023] Invalid logger level, 8"),
                                   line(3, " - [CVULogger][I-COR000023] Invalid logger level, 2")}));
}

TEST_F(CVULoggerTest, AForcedMessageIsWrittenBelowTheLevelAndPastTheSystemLogFilter) {
  CVULoggerSetLevel(kCVULoggerLevelError);
  EXPECT_FALSE(CVULoggerIsLoggable(kCVULoggerLevelWarning));
  CVULoggerLogDebug("[Test]", true, "I-TST000001", "forced %d", 1);
  CVULoggerLogDebug("[Test]", false, "I-TST000002", "not forced");
  CVULoggerLogWarning("[Test]", false, "I-TST000003", "not forced either");
  CVULoggerLogError("[Test]", false, "I-TST000004", "error");
  // The filter is back to errors only after the forced line: a line the logger lets through for
  // its level still passes, nothing else was written.
  EXPECT_EQ(writtenLines(),
            (Lines{line(7, " - [Test][I-TST000001] forced 1"), line(3, " - [Test][I-TST000004] error")}));
}

TEST_F(CVULoggerTest, ForcedDebugWritesEveryLevelEvenAfterTheLevelIsLowered) {
  CVULoggerForceDebug();
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelDebug);
  CVULoggerSetLevel(kCVULoggerLevelError);
  EXPECT_TRUE(CVULoggerIsLoggable(kCVULoggerLevelDebug));
  CVULoggerLogDebug("[Test]", false, "I-TST000001", "still written");
  EXPECT_EQ(writtenLines(), (Lines{line(7, " - [Test][I-TST000001] still written")}));
}

TEST_F(CVULoggerTest, TheSystemLogFilterFollowsTheLevel) {
  CVULoggerSetLevel(kCVULoggerLevelInfo);
  CVULoggerLogInfo("[Test]", false, "I-TST000001", "info");
  CVULoggerLogDebug("[Test]", false, "I-TST000002", "debug");
  EXPECT_EQ(writtenLines(), (Lines{line(6, " - [Test][I-TST000001] info")}));
}

TEST_F(CVULoggerTest, AStoreBuildKeepsNoticeAndCannotForceDebug) {
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(true);
  CVULoggerSetLevel(kCVULoggerLevelDebug);
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelNotice);
  CVULoggerForceDebug();
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelNotice);
  EXPECT_FALSE(CVULoggerIsLoggable(kCVULoggerLevelInfo));

  CVULoggerSetLevel(kCVULoggerLevelWarning);
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelWarning);
  CVULoggerSetLevel(kCVULoggerLevelNotice);
  EXPECT_EQ(CVULoggerGetLevel(), kCVULoggerLevelWarning);
  CVULoggerLogNotice("[Test]", false, "I-TST000001", "dropped");
  CVULoggerLogWarning("[Test]", false, "I-TST000002", "written");
  CVULoggerLogDebug("[Test]", true, "I-TST000003", "forced");
  EXPECT_EQ(writtenLines(),
            (Lines{line(4, " - [Test][I-TST000002] written"), line(7, " - [Test][I-TST000003] forced")}));
}

TEST_F(CVULoggerTest, TheFormatIsFilledOnlyWhenArgumentsAreGiven) {
  CVULoggerLogError("[Test]", false, "I-TST000001", "100% done, %@ left");
  CVULoggerLogError("[Test]", false, "I-TST000002", "%d%% of %@", 50, std::string("it"));
  const platform::FormatArgument arguments[] = {"wrapped", 2};
  CVULoggerWrapper::logWithLevel(kCVULoggerLevelError, "[Wrapper]", "I-TST000003", "%@ %ld", arguments);
  CVULoggerWrapper::logWithLevel(kCVULoggerLevelDebug, "[Wrapper]", "I-TST000004", "%@ %ld", arguments);
  EXPECT_EQ(writtenLines(), (Lines{line(3, " - [Test][I-TST000001] 100% done, %@ left"),
                                   line(3, " - [Test][I-TST000002] 50% of it"),
                                   line(3, " - [Wrapper][I-TST000003] wrapped 2")}));
}

TEST_F(CVULoggerTest, LinesOfOneThreadKeepTheirOrder) {
  Lines expected;
  for (int i = 0; i < 300; ++i) {
    CVULoggerLogError("[Test]", false, "I-TST000001", "line %d", i);
    expected.push_back(line(3, " - [Test][I-TST000001] line " + std::to_string(i)));
  }
  EXPECT_EQ(writtenLines(), expected);
}

TEST_F(CVULoggerTest, StandardErrorGetsTheLinesLoggedAfterItWasEnabled) {
  platform::testing::TemporaryDirectory folder;
  platform::testing::StandardErrorFile standardError(folder.path() / "stderr.txt");
  CVULoggerLogError("[Test]", false, "I-TST000001", "before");
  CVULoggerEnableStandardError();
  CVULoggerLogError("[Test]", false, "I-TST000002", "after");
  CVULoggerLogDebug("[Test]", false, "I-TST000003", "dropped");
  EXPECT_EQ(writtenLines().size(), 2u);
  EXPECT_EQ(standardError.contents(), " - [Test][I-TST000002] after\n");
}

}  // namespace
}  // namespace beacon
