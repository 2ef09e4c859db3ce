#include "measurement/engine/BMSDisplayNames.h"

#include <gtest/gtest.h>

#include "measurement/engine/BMSMonitor.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestApplication.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

class BMSDisplayNamesTest : public ::testing::Test {
 protected:
  ~BMSDisplayNamesTest() override {
    BMSEngineServices::setLogSink(nullptr);
    platform::ClassDirectory::shared().resetForTesting();
    CVULoggerSetLevel(kCVULoggerLevelNotice);
  }
  // The monitor in debug mode as the engine's log sink, with the analytics interface present.
  void enterDebugMode() {
    BMSMonitorEnvironment environment;
    environment.sharedDefaults = BMSUserDefaults::sharedUserDefaults();
    environment.monitorDefaults = std::make_shared<BMSUserDefaults>("display.monitor");
    environment.clock = dispatch.sharedClock();
    environment.randomBelow = [](std::uint64_t) { return 0; };
    environment.arguments = {"velloran", "-BMSAnalyticsDebugEnabled"};
    BMSEngineServices::setLogSink(BMSMonitor::initWithLibraryVersion(1, environment));
    platform::ClassDirectory::shared().registerClass("BCNAnalytics");
  }

  platform::testing::TestApplication application;
  platform::DeterministicDispatch dispatch;
};

TEST_F(BMSDisplayNamesTest, NamesShowAsTheyAreOutsideDebugMode) {
  EXPECT_FALSE(BMSIsDebugModeEnabled());
  EXPECT_EQ(BMSEventNameForDisplay("_s"), "_s");
  EXPECT_EQ(BMSUserPropertyNameForDisplay("_exp_12"), "experiment_id (_exp_12)");
  EXPECT_EQ(BMSParametersDescription({{"b", BMSValue::initWithInt64(2)}, {"a", platform::Value("x")}}),
            "{\"a\": \"x\", \"b\": 2}");
}

TEST_F(BMSDisplayNamesTest, DebugModeShowsPublicSpellingsPreferringOnesWithoutTheVendorPrefix) {
  enterDebugMode();
  ASSERT_TRUE(BMSIsDebugModeEnabled());
  EXPECT_EQ(BMSEventNameForDisplay("_s"), "session_start (_s)");
  EXPECT_EQ(BMSEventNameForDisplay("_cmp"), "ca_campaign (_cmp)");
  EXPECT_EQ(BMSEventNameForDisplay("prompt_copy"), "prompt_copy");
  EXPECT_EQ(BMSEventNameForDisplay("_unknown"), "_unknown");
  EXPECT_EQ(BMSParameterNameForDisplay("_sn"), "ca_screen (_sn)");
  EXPECT_EQ(BMSNameForDisplay("_x", {{"beacon_a", "_x"}, {"beacon_b", "_x"}}), "beacon_b (_x)");

  platform::ClassDirectory::shared().resetForTesting();
  EXPECT_EQ(BMSEventNameForDisplay("_s"), "_s");
}

TEST_F(BMSDisplayNamesTest, DebugParameterListIsSortedWithNamedErrorsAndItems) {
  enterDebugMode();
  BMSValueItems items;
  items.elements.push_back(BMSParameters{{"item_id", platform::Value("A")}});
  const BMSParameters parameters = {{"zeta", BMSValue::initWithInt64(1)},
                                    {"Alpha", platform::Value("x")},
                                    {"_err", BMSValue::initWithInt64(11)},
                                    {"items", BMSValue::initWithItems(items)}};
  EXPECT_EQ(BMSParametersDescription(parameters),
            "{\n"
            "    Alpha = x;\n"
            "    ca_error (_err) = EventIsBlocked (11);\n"
            "    items = [\n"
            "    {\n"
            "        item_id = A;\n"
            "    }\n"
            "    ];\n"
            "    zeta = 1;\n"
            "}");
  EXPECT_EQ(BMSParametersDescription({{"_err", BMSValue::initWithInt64(9999)}}), "{\n    ca_error (_err) = 9999;\n}");
}

}  // namespace
}  // namespace beacon
