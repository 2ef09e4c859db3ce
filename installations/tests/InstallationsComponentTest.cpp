// The installations component of configured apps: made while an app is configured, one per app,
// and refusing options it cannot work with during that configure.
#include <gtest/gtest.h>

#include "installations/BCNInstallationIDLink.h"
#include "installations/BCNInstallations.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "platform/classdir/ClassDirectory.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

std::shared_ptr<BCNOptions> validOptions() {
  auto options = BCNOptions::initWithCorvaneAppID(testing::kTestAppID, "123456789012");
  options->setAPIKey(testing::kTestAPIKey);
  options->setProjectID("velloran-test");
  return options;
}

// First in this file: in a process where the library was never registered (BCNInstallations::load()),
// the analytics side's link hears that there is no ID instead of failing.
TEST(InstallationIDLinkWithoutTheLibraryTest, TheConsumerHearsThereIsNoID) {
  platform::testing::TemporaryUser user;
  platform::DeterministicDispatch dispatch;
  CVPPromiseClass::setDefaultDispatchQueue(platform::makeSerialQueue("link.test"));
  BCNApp::configureWithOptions(validOptions());
  ASSERT_FALSE(BCNInstallations::installations());
  std::optional<platform::Error> told;
  platform::ObserverToken link = BCNInstallationIDLink::follow([&](auto id, auto error) {
    EXPECT_FALSE(id);
    told = error;
  });
  dispatch.drain();
  ASSERT_TRUE(told);
  EXPECT_EQ(told->domain, kBCNInstallationsErrorDomain);
  BCNApp::resetApps();
}

class InstallationsComponentTest : public testing::InstallationsTest {
 protected:
  InstallationsComponentTest() { BCNInstallations::load(); }
  ~InstallationsComponentTest() override { BCNApp::resetApps(); }

  static std::shared_ptr<BCNOptions> options(std::string APIKey = testing::kTestAPIKey) {
    auto options = validOptions();
    options->setAPIKey(std::move(APIKey));
    return options;
  }
};

TEST_F(InstallationsComponentTest, TheDefaultInstanceNeedsAConfiguredDefaultApp) {
  EXPECT_EQ(testing::raisedInstallationsReason([] { BCNInstallations::installations(); }),
            "The default BeaconApp instance must be configured before the defaultBeaconApp instance can be "
            "initialized. One way to ensure this is to call `BeaconApp.configure()` in the App  Delegate's "
            "`application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in "
            "SwiftUI).");

  BCNApp::configureWithOptions(options());
  std::shared_ptr<BCNInstallations> installations = BCNInstallations::installations();
  ASSERT_TRUE(installations);
  EXPECT_EQ(BCNInstallations::installations(), installations);
  EXPECT_EQ(installations->appName(), kBCNDefaultAppName);
}

TEST_F(InstallationsComponentTest, EveryConfiguredAppHasItsOwnInstance) {
  BCNApp::configureWithOptions(options());
  BCNApp::configureWithName("second", options());
  std::shared_ptr<BCNInstallations> second =
      BCNInstallations::installationsWithApp(*BCNApp::appNamed("second"));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->appName(), "second");
  EXPECT_NE(second, BCNInstallations::installations());
}

TEST_F(InstallationsComponentTest, OptionsItCannotWorkWithFailTheConfigureOfTheApp) {
  std::string reason =
      testing::raisedInstallationsReason([&] { BCNApp::configureWithName("broken", options("too-short")); });
  EXPECT_NE(reason.find("`BeaconOptions.APIKey` doesn't match the expected format: API Key length must be 39 "
                        "characters, API Key must start with `A`."),
            std::string::npos)
      << reason;
}

// Last: the announced class stays in the process's class directory.
TEST_F(InstallationsComponentTest, AnEarlierInstanceIDLibraryCannotShareTheInstallation) {
  platform::ClassDirectory::shared().registerClass("BCNInstanceID");
  std::string reason = testing::raisedInstallationsReason([&] { BCNApp::configureWithOptions(options()); });
  EXPECT_EQ(reason.rfind("Beacon Instance ID is not compatible with Beacon 8.x+.", 0), 0u) << reason;
}

}  // namespace
}  // namespace beacon
