#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

#include <gtest/gtest.h>

#include "sdk-utilities/environment/MachineProbe.h"
#include "sdk-utilities/tests/TestBundle.h"

namespace beacon {
namespace {

using platform::OperatingSystemVersion;

TEST(CVUAppEnvironmentUtilTest, SystemVersionShowsThePatchOnlyWhenItIsNotZero) {
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{14, 0, 0}), "14.0");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{14, 2, 1}), "14.2.1");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{6, 0, 12}), "6.0.12");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersion(),
            CVUAppEnvironmentUtil::systemVersionFrom(platform::ProcessInfo::operatingSystemVersion()));
}

TEST(CVUAppEnvironmentUtilTest, DeviceModelIsTheMachinesModelOrItsArchitecture) {
  const std::string model = CVUAppEnvironmentUtil::deviceModel();
  EXPECT_EQ(model, MachineProbe::hardwareModel().value_or(MachineProbe::machineName()));
  EXPECT_FALSE(model.empty());
  EXPECT_EQ(model.find(' '), std::string::npos);
  EXPECT_EQ(CVUAppEnvironmentUtil::deviceSimulatorModel(), MachineProbe::hardwareModel());
  EXPECT_EQ(CVUAppEnvironmentUtil::getSysctlEntry("hw.model"), MachineProbe::hardwareModel());
  EXPECT_EQ(CVUAppEnvironmentUtil::getSysctlEntry("kern.nothing"), std::nullopt);
}

class StoreReceiptTest : public ::testing::Test {
 protected:
  void placeSandboxReceipt() { bundle_.writeFile("StoreReceipt/sandboxReceipt", "receipt bytes"); }
  void setReceiptCheck(platform::Value enabled) {
    bundle_.writeInfo({{"CFBundleIdentifier", testing::kTestBundleIdentifier},
                       {"BeaconAppStoreReceiptURLCheckEnabled", std::move(enabled)}});
  }

  testing::TestBundle bundle_;
};

TEST_F(StoreReceiptTest, ADevelopmentBuildWithoutReceiptIsAStoreBuildOnlyWhenConfiguredSo) {
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), static_cast<bool>(BEACON_STORE_BUILD));
}

TEST_F(StoreReceiptTest, ASandboxReceiptIsNeverAStoreBuild) {
  placeSandboxReceipt();
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  EXPECT_FALSE(CVUAppEnvironmentUtil::isFromAppStore());
}

TEST_F(StoreReceiptTest, OnlyAFalseNumberSwitchesTheReceiptCheckOff) {
  placeSandboxReceipt();
  setReceiptCheck(false);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck(0);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck(true);
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck("NO");
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
}

// In the receipt fixture, so the real answer that comes back is known: no receipt, so a store build
// exactly when configured as one.
TEST_F(StoreReceiptTest, TestAnswersStandInUntilWithdrawn) {
  constexpr bool kConfiguredStoreBuild = BEACON_STORE_BUILD;
  CVUAppEnvironmentUtil::setAppExtensionForTesting(true);
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(!kConfiguredStoreBuild);
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppExtension());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), !kConfiguredStoreBuild);
  CVUAppEnvironmentUtil::setAppExtensionForTesting(std::nullopt);
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppExtension());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), kConfiguredStoreBuild);
}

}  // namespace
}  // namespace beacon
