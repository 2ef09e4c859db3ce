#include "measurement/runtime/EngineStartDecisions.h"

#include <gtest/gtest.h>

namespace beacon {
namespace {

TEST(ShouldEnableMeasurementTest, DeactivationWinsThenPersistedStateThenOption) {
  EXPECT_FALSE(shouldEnableMeasurement(true, kBMSMeasurementEnabledStateOn, true));
  EXPECT_FALSE(shouldEnableMeasurement(false, kBMSMeasurementEnabledStateOff, true));
  EXPECT_TRUE(shouldEnableMeasurement(false, kBMSMeasurementEnabledStateOn, false));
  EXPECT_TRUE(shouldEnableMeasurement(false, 0, true));
  EXPECT_FALSE(shouldEnableMeasurement(false, 7, false));
}

WipeInputs ids(std::string gc, std::string ac, std::string gp, std::string ap,
               std::string engine = "engine-id", std::int64_t retries = 0) {
  return {std::move(engine), std::move(gc), std::move(ac), std::move(gp), std::move(ap), retries};
}

TEST(ShouldWipeDataTest, ChangedCorvaneAppIDWipesAndTheSameNever) {
  EXPECT_TRUE(shouldWipeData(ids("new", "", "old", "")));
  EXPECT_FALSE(shouldWipeData(ids("same", "x", "same", "y")));
}

TEST(ShouldWipeDataTest, FailedEarlierWipeForcesOneUpToNineRetries) {
  EXPECT_TRUE(shouldWipeData(ids("same", "", "same", "", "engine-id", 1)));
  EXPECT_TRUE(shouldWipeData(ids("same", "", "same", "", "engine-id", 9)));
  EXPECT_FALSE(shouldWipeData(ids("same", "", "same", "", "engine-id", 10)));
  EXPECT_FALSE(shouldWipeData(ids("same", "", "same", "", "engine-id", 0)));
}

TEST(ShouldWipeDataTest, MovingFromAdReachOnlyToCorvane) {
  EXPECT_TRUE(shouldWipeData(ids("g", "", "", "a")));
  EXPECT_TRUE(shouldWipeData(ids("g", "a2", "", "a")));
  EXPECT_FALSE(shouldWipeData(ids("g", "a", "", "a")));
}

TEST(ShouldWipeDataTest, LosingTheCorvaneAppIDForAdReach) {
  EXPECT_TRUE(shouldWipeData(ids("", "a", "g", "")));
  EXPECT_FALSE(shouldWipeData(ids("", "a", "g", "", "")));
}

TEST(ShouldWipeDataTest, EngineAppIDDifferingFromPersistedAdReach) {
  EXPECT_TRUE(shouldWipeData(ids("", "", "", "a", "other")));
  EXPECT_FALSE(shouldWipeData(ids("", "", "", "a", "a")));
  EXPECT_FALSE(shouldWipeData(ids("", "", "", "")));
}

class ProspectiveConsentTest : public ::testing::Test {
 protected:
  ProspectiveConsentTest() {
    inputs.isConsentSourceHigherPriority = [this](std::int64_t source) {
      return source <= inputs.currentSource;
    };
  }
  ProspectiveConsentInputs inputs;
  const platform::Dictionary granted{{"ad_storage", "granted"}};
  const platform::Dictionary denied{{"ad_storage", "denied"}};
};

TEST_F(ProspectiveConsentTest, TCFWinsUnlessThirdPartyConsentCompetes) {
  inputs.tcf = granted;
  ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  EXPECT_EQ(choice.source, kBMSConsentSourceTCF);
  EXPECT_EQ(choice.settings, granted);

  inputs.thirdParty = denied;
  choice = chooseProspectiveConsent(inputs);
  EXPECT_EQ(choice.source, kBMSConsentSourceThirdParty);
  EXPECT_EQ(choice.settings, denied);

  inputs.currentSource = kBMSConsentSourceTCF;
  EXPECT_EQ(chooseProspectiveConsent(inputs).source, kBMSConsentSourceTCF);
}

TEST_F(ProspectiveConsentTest, InfoPlistComesBeforeStartOptions) {
  inputs.infoPlist = denied;
  inputs.firstPartyAtStart = granted;
  const ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  EXPECT_EQ(choice.source, kBMSConsentSourceInfoPlist);
  EXPECT_EQ(choice.settings, denied);
}

TEST_F(ProspectiveConsentTest, PublicInterfaceClearsConsentTheAppGaveTheEngine) {
  inputs.analyticsInterfacePresent = true;
  inputs.currentSource = kBMSConsentSourceAPI;
  inputs.firstPartyAtStart = granted;
  const ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  EXPECT_TRUE(choice.clearPersistedConsent);
  EXPECT_EQ(choice.settings, std::nullopt);
}

TEST_F(ProspectiveConsentTest, StartOptionsApplyWhenNothingBetterIsThere) {
  inputs.firstPartyAtStart = granted;
  const ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  EXPECT_EQ(choice.source, kBMSConsentSourceFirstPartyAtStart);
  EXPECT_EQ(choice.settings, granted);
}

TEST_F(ProspectiveConsentTest, LowerPriorityThanTheCurrentSourceAppliesNothing) {
  inputs.currentSource = kBMSConsentSourceThirdParty;
  inputs.infoPlist = denied;
  inputs.firstPartyAtStart = granted;
  const ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  EXPECT_EQ(choice.source, kBMSConsentSourceThirdParty);
  EXPECT_EQ(choice.settings, std::nullopt);  // no third-party settings stored
}

}  // namespace
}  // namespace beacon
