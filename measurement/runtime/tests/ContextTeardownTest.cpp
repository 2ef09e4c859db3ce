// Analytics contexts made and destroyed in turn in one process, as benchmarks and tests do, each
// going while its work is still pending: the start's app-delegate proxy left to the main queue, the
// engine's timers armed. What runs after a context went must leave it alone.

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using testing::kTestAppID;

TEST(ContextTeardownTest, WorkLeftPendingByDestroyedContextsFindsThemGone) {
  platform::testing::TemporaryUser user;
  user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-teardown-tests"}});
  testing::forgetProcessWideState();
  platform::DeterministicDispatch dispatch;
  platform::ClassDirectory classes;
  classes.registerClass("BCNAnalytics");
  const auto makeContext = [&] {
    return std::make_shared<AnalyticsContext>(
        AnalyticsContext::Services{dispatch.sharedClock(), &classes, nullptr, nullptr, false});
  };
  {
    AnalyticsContext::Scope scope(makeContext());
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
    // The analytics queue alone: the start hands the app-delegate proxy to the main queue.
    scope.context().facade().queue()->sync([] {});
  }
  {
    AnalyticsContext::Scope scope(makeContext());
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
    BMSAnalytics::logEventWithName("app_open", {});
    dispatch.drain();
  }
  // The first context's proxy block, then every timer the second one armed.
  dispatch.advance(std::chrono::hours(48));
  testing::forgetProcessWideState();
}

// Every call reads the installed context without a lock: installing, nesting and tearing down must
// each be seen at once, never a context that is gone.
TEST(ContextTeardownTest, TheCurrentContextFollowsEveryScope) {
  platform::testing::TemporaryUser user;
  platform::DeterministicDispatch dispatch;
  platform::ClassDirectory classes;
  const auto makeContext = [&] {
    return std::make_shared<AnalyticsContext>(
        AnalyticsContext::Services{dispatch.sharedClock(), &classes, nullptr, nullptr, false});
  };
  const std::shared_ptr<AnalyticsContext> outer = makeContext();
  const std::shared_ptr<AnalyticsContext> inner = makeContext();
  {
    AnalyticsContext::Scope outerScope(outer);
    EXPECT_EQ(&AnalyticsContext::current(), outer.get());
    {
      AnalyticsContext::Scope innerScope(inner);
      EXPECT_EQ(&AnalyticsContext::current(), inner.get());
    }
    EXPECT_EQ(&AnalyticsContext::current(), outer.get());
  }
  // Nothing installed any more: the next use makes a fresh context and keeps it.
  AnalyticsContext& fresh = AnalyticsContext::current();
  EXPECT_NE(&fresh, outer.get());
  EXPECT_NE(&fresh, inner.get());
  EXPECT_EQ(&AnalyticsContext::current(), &fresh);
}

}  // namespace
}  // namespace beacon
