// The installed services: defaults until replaced, null puts the default back.

#include <gtest/gtest.h>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

TEST(EngineServices, DefaultLimitsAreTheConfigurationsBuiltInValues) {
  auto limits = BMSEngineServices::parameterLimits();
  EXPECT_EQ(limits->maxPublicEventParams(), 25);
  EXPECT_EQ(limits->maxPublicEventParameterValueLength(), 100);
  EXPECT_EQ(limits->maxInternalEventParameterValueLength(), 256);
  EXPECT_TRUE(limits->itemScopedCustomParameterEnabled());
  EXPECT_EQ(limits->maxItemScopedCustomParameters(), 27);
}

TEST(EngineServices, InstalledSinkReceivesLinesUntilNullPutsTheDefaultBack) {
  auto sink = std::make_shared<testing::CapturingLogSink>();
  BMSEngineServices::setLogSink(sink);
  BMSLog(3, 13000, "Event name is too long", {"x", platform::Value()});
  BMSEngineServices::setLogSink(nullptr);
  BMSLog(0, 35000, "dropped");
  ASSERT_EQ(sink->lines.size(), 1u);
  EXPECT_EQ(sink->lines[0].level, 3);
  EXPECT_EQ(sink->lines[0].code, 13000);
  EXPECT_EQ(sink->lines[0].contexts, (std::vector<platform::Value>{"x", platform::Value()}));
}

TEST(EngineServices, ScopedServicesInstallFakesAndRestoreDefaults) {
  {
    testing::ScopedEngineServices services;
    services.limits->maxPublicEventParams_ = 40;
    EXPECT_EQ(BMSEngineServices::parameterLimits()->maxPublicEventParams(), 40);
  }
  EXPECT_EQ(BMSEngineServices::parameterLimits()->maxPublicEventParams(), 25);
}

}  // namespace
}  // namespace beacon
