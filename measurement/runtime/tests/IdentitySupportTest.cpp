#include "measurement/runtime/BMSDefaultIdentitySupport.h"

#include <gtest/gtest.h>

#include <limits>

#include "AnalyticsTestWorld.h"

namespace beacon {
namespace {

class FakeIdentityComponent : public BMSIdentitySupport {
 public:
  bool hasAppDataConsentStatus() override { return true; }
  std::uint64_t appDataConsentStatus() override { return 3; }
  bool hasLimitedAdTracking() override { return true; }
  bool limitedAdTracking() override { return false; }
  std::optional<std::string> resettableDeviceID() override { return deviceID; }

  std::optional<std::string> deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
};

class IdentitySupportTest : public ::testing::Test {
 protected:
  testing::AnalyticsTestWorld world;
};

TEST_F(IdentitySupportTest, WithoutComponentAnswersNeutrally) {
  BMSDefaultIdentitySupport& support = BMSDefaultIdentitySupport::shared();
  EXPECT_FALSE(support.hasComponent());
  EXPECT_FALSE(support.hasAppDataConsentStatus());
  EXPECT_EQ(support.appDataConsentStatus(), std::numeric_limits<std::uint64_t>::max());
  EXPECT_FALSE(support.hasLimitedAdTracking());
  EXPECT_TRUE(support.limitedAdTracking());
  EXPECT_EQ(support.resettableDeviceID(), std::nullopt);
  EXPECT_TRUE(BMSDefaultIdentitySupport::iOS14OrAbove());
  EXPECT_EQ(world.log().codes(), std::vector<std::int64_t>{44003});
  EXPECT_EQ(world.log().levelOf(44003), 4);
}

TEST_F(IdentitySupportTest, RegisteredComponentIsAsked) {
  auto component = std::make_shared<FakeIdentityComponent>();
  world.classes().registerClass<BMSIdentitySupport>(kBMSPlatformIdentitySupportClassName, component);
  BMSDefaultIdentitySupport& support = BMSDefaultIdentitySupport::shared();
  EXPECT_TRUE(support.hasComponent());
  EXPECT_TRUE(support.hasAppDataConsentStatus());
  EXPECT_EQ(support.appDataConsentStatus(), 3u);
  EXPECT_TRUE(support.hasLimitedAdTracking());
  EXPECT_EQ(support.resettableDeviceID(), component->deviceID);
  EXPECT_FALSE(support.limitedAdTracking());
  EXPECT_EQ(world.log().codes(), (std::vector<std::int64_t>{44000, 44001}));
}

class ComponentWithoutAdSupport : public FakeIdentityComponent {
 public:
  bool hasLimitedAdTracking() override { return false; }
};

TEST_F(IdentitySupportTest, ComponentWithoutAdSupportIsWarnedAbout) {
  world.classes().registerClass<BMSIdentitySupport>(kBMSPlatformIdentitySupportClassName,
                                                    std::make_shared<ComponentWithoutAdSupport>());
  (void)BMSDefaultIdentitySupport::shared();
  EXPECT_EQ(world.log().codes(), (std::vector<std::int64_t>{44000, 44002}));
}

TEST_F(IdentitySupportTest, AllZeroDeviceIDMeansLimitedTracking) {
  auto component = std::make_shared<FakeIdentityComponent>();
  component->deviceID = kBMSZeroResettableDeviceID;
  world.classes().registerClass<BMSIdentitySupport>(kBMSPlatformIdentitySupportClassName, component);
  EXPECT_TRUE(BMSDefaultIdentitySupport::shared().limitedAdTracking());
}

}  // namespace
}  // namespace beacon
