// The core logging front: line format, the launch arguments, the persisted debug switch and levels.

#include <gtest/gtest.h>

#include "platform/process/ProcessInfo.h"
#include "sdk-core/BCNConfiguration.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/CoreError.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

using platform::testing::StandardErrorFile;
using testing::LogLines;
using testing::TemporaryApplication;

constexpr const char* kDebugLine = "12.4.0 - [BeaconCore][I-COR000001] Configuring the default app.";

void launchWith(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "velloran");
  platform::ProcessInfo::setArgumentsForTesting(arguments);
}

void logDebugLine() {
  BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000001", "Configuring the default app.");
}

TEST(CoreLogger, WithoutArgumentsDebugIsDroppedAndErrorsAreWritten) {
  TemporaryApplication application;
  launchWith({});
  LogLines log;

  logDebugLine();
  BCNLoggerLogInfo(kBCNLoggerCore, "I-COR000010", "Unknown CORVANE_APP_ID version: %@", "2");
  BCNLoggerLogError(kBCNLoggerCore, "I-COR000004", "App with name %@ does not exist.", "shop");
  BCNLoggerLogNotice(kBCNLoggerCore, "I-COR000005", "No app has been configured yet.");

  const std::vector<platform::CapturedLogLine> expected{
      {3, "12.4.0 - [BeaconCore][I-COR000004] App with name shop does not exist.", true},
      {5, "12.4.0 - [BeaconCore][I-COR000005] No app has been configured yet.", true},
  };
  EXPECT_EQ(log.all(), expected);
}

TEST(CoreLogger, DroppedMessagesAreNeverFormatted) {
  TemporaryApplication application;
  launchWith({});
  struct Expensive {
    std::string description() const {
      ++descriptions;
      return "expensive";
    }
    mutable int descriptions = 0;
  } argument;

  BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000002", "Configuring app named %@", argument);

  EXPECT_EQ(argument.descriptions, 0);
}

TEST(CoreLogger, DebugEnabledArgumentForcesDebugAndPersistsTheSwitch) {
  TemporaryApplication application;
  launchWith({kBCNDebugEnabledArgument});
  LogLines log;

  logDebugLine();

  const std::vector<platform::CapturedLogLine> expected{{7, kDebugLine, true}};
  EXPECT_EQ(log.all(), expected);
  EXPECT_EQ(application.persistedPreference(kBCNDebugModeKey), platform::Value(true));
}

TEST(CoreLogger, APersistedSwitchKeepsDebugOnForALaunchWithoutArguments) {
  TemporaryApplication application;
  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject(kBCNDebugModeKey, true).ok());
  launchWith({});
  LogLines log;

  logDebugLine();

  EXPECT_EQ(log.texts(), std::vector<std::string>{kDebugLine});
}

TEST(CoreLogger, DebugDisabledArgumentClearsThePersistedSwitch) {
  TemporaryApplication application;
  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject(kBCNDebugModeKey, true).ok());
  launchWith({kBCNDebugDisabledArgument, kBCNDebugEnabledArgument});
  LogLines log;

  logDebugLine();

  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(application.persistedPreference(kBCNDebugModeKey), std::nullopt);
}

TEST(CoreLogger, AStoreBuildCannotForceDebug) {
  TemporaryApplication application;
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(true);
  launchWith({kBCNDebugEnabledArgument});
  LogLines log;

  logDebugLine();

  EXPECT_TRUE(log.texts().empty());
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt);
}

TEST(CoreLogger, ForceStandardErrorArgumentEchoesEveryLine) {
  TemporaryApplication application;
  StandardErrorFile standardError(application.user().root() / "stderr.txt");
  launchWith({kBCNLoggerForceStandardErrorArgument});
  LogLines log;

  BCNLoggerLogError(kBCNLoggerCore, "I-COR000007", "App does not exist.");
  log.all();

  EXPECT_EQ(standardError.contents(), "12.4.0 - [BeaconCore][I-COR000007] App does not exist.\n");
}

TEST(CoreLogger, WithoutTheArgumentNothingGoesToStandardError) {
  TemporaryApplication application;
  StandardErrorFile standardError(application.user().root() / "stderr.txt");
  launchWith({kBCNDebugEnabledArgument});
  LogLines log;

  BCNLoggerLogError(kBCNLoggerCore, "I-COR000007", "App does not exist.");
  logDebugLine();

  EXPECT_EQ(log.texts().size(), 2u);
  EXPECT_EQ(standardError.contents(), "");
}

TEST(CoreLogger, ConfigurationRefusesInvalidLevelsAndAppliesValidOnes) {
  TemporaryApplication application;
  launchWith({});
  LogLines log;

  for (long level : {2L, 8L}) {
    const platform::ProgrammerError error =
        testing::thrownBy([&] { BCNConfiguration::shared().setLoggerLevel(level); });
    EXPECT_EQ(error.name(), kBCNInternalInconsistencyException);
    EXPECT_EQ(error.reason(), "Invalid logger level, " + std::to_string(level));
  }
  logDebugLine();
  BCNConfiguration::shared().setLoggerLevel(7);
  logDebugLine();

  EXPECT_EQ(log.texts(), std::vector<std::string>{kDebugLine});
}

TEST(CoreLogger, AnInvalidLevelGivenToTheFrontIsReportedAndIgnored) {
  TemporaryApplication application;
  launchWith({});
  LogLines log;

  BCNLoggerSetLevel(8);

  EXPECT_EQ(log.texts(),
            std::vector<std::string>{"12.4.0 - [CVULogger][I-COR000023] Invalid logger level, 8"});
  EXPECT_EQ(CVULoggerGetLevel(), 5);
}

TEST(CoreLogger, WrapperWritesATextWithoutArgumentsAsItIs) {
  TemporaryApplication application;
  launchWith({});
  LogLines log;

  BCNLoggerWrapper::logWithLevel(3, kBCNLoggerCore, "I-COR000099", "100% of %@ done");
  const platform::FormatArgument arguments[] = {platform::FormatArgument("uploads")};
  BCNLoggerWrapper::logWithLevel(3, kBCNLoggerCore, "I-COR000099", "100%% of %@ done", arguments);

  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "12.4.0 - [BeaconCore][I-COR000099] 100% of %@ done",
                             "12.4.0 - [BeaconCore][I-COR000099] 100% of uploads done",
                         }));
}

}  // namespace
}  // namespace beacon
