// The SDK's user-agent text.

#include <gtest/gtest.h>

#include "sdk-core/BCNBeaconUserAgent.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

using testing::TemporaryApplication;

// A known machine for the length of a test, so expected texts are written out in full.
class KnownMachine {
 public:
  KnownMachine() {
    CVUAppEnvironmentUtil::setMachineForTesting(
        CVUAppEnvironmentUtil::Machine{"Test_Machine_1,2", {14, 2, 1}});
  }
  ~KnownMachine() { CVUAppEnvironmentUtil::setMachineForTesting(std::nullopt); }
};

constexpr const char* kEnvironmentText =
    "apple-platform/macos appstore/false deploy/swiftpm device/Test_Machine_1,2 os-version/14.2.1";

TEST(UserAgent, ListsEnvironmentFactsSortedAndLeavesOutMissingOnes) {
  TemporaryApplication application;
  KnownMachine machine;
  BCNBeaconUserAgent agent;

  EXPECT_EQ(agent.beaconUserAgent(), kEnvironmentText);

  application.writeInfo({{"DTSDKBuild", "24A335"}, {"DTXcodeBuild", "16A242d"}});
  BCNBeaconUserAgent withBuildFacts;
  EXPECT_EQ(withBuildFacts.beaconUserAgent(),
            "apple-platform/macos apple-sdk/24A335 appstore/false deploy/swiftpm device/Test_Machine_1,2 "
            "os-version/14.2.1 xcode/16A242d");
}

TEST(UserAgent, RegisteredLibrariesTakeTheirPlaceIgnoringCase) {
  TemporaryApplication application;
  BCNBeaconUserAgent agent;
  const std::string before = agent.beaconUserAgent();

  agent.setValue("12.4.0", "bcn-install");
  agent.setValue("1.0", "Zeta");
  agent.setValue("2.0", "B-lib");

  const std::string text = agent.beaconUserAgent();
  EXPECT_NE(text, before);
  EXPECT_EQ(text.find("apple-platform/macos appstore/false B-lib/2.0 bcn-install/12.4.0 deploy/swiftpm"), 0u)
      << text;
  EXPECT_TRUE(text.ends_with(" Zeta/1.0")) << text;

  agent.setValue(std::nullopt, "Zeta");
  EXPECT_EQ(agent.beaconUserAgent().find("Zeta"), std::string::npos);
}

TEST(UserAgent, LibrariesSortTheLocalesWayNotByBytes) {
  TemporaryApplication application;
  BCNBeaconUserAgent agent;
  agent.setValue("1", "b-lib");
  agent.setValue("1", "\xC3\xA4pfel-lib");  // "äpfel": sorts with "apfel", not after every ASCII name
  agent.setValue("1", "apfel-lib");

  EXPECT_EQ(agent.beaconUserAgent().find(
                "apfel-lib/1 \xC3\xA4pfel-lib/1 apple-platform/macos appstore/false b-lib/1 "),
            0u)
      << agent.beaconUserAgent();
}

TEST(UserAgent, EnvironmentFactsOverrideALibraryOfTheSameName) {
  TemporaryApplication application;
  BCNBeaconUserAgent agent;

  agent.setValue("9.9", "deploy");

  EXPECT_NE(agent.beaconUserAgent().find(" deploy/swiftpm "), std::string::npos);
  EXPECT_EQ(agent.beaconUserAgent().find("deploy/9.9"), std::string::npos);
}

TEST(UserAgent, ResetDropsRegisteredLibraries) {
  TemporaryApplication application;
  KnownMachine machine;
  BCNBeaconUserAgent agent;
  agent.setValue("12.4.0", "bcn-ios");

  agent.reset();

  EXPECT_EQ(agent.beaconUserAgent(), kEnvironmentText);
}

TEST(UserAgent, ReportsAStoreBuild) {
  TemporaryApplication application;
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(true);

  EXPECT_NE(BCNBeaconUserAgent().beaconUserAgent().find(" appstore/true "), std::string::npos);

  CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt);
}

}  // namespace
}  // namespace beacon
