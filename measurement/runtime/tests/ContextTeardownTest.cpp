// Analytics contexts made and destroyed in turn in one process, as benchmarks and tests do, each
// going while its work is still pending: the start's app-delegate proxy left to the main queue, the
// engine's configuration fetch held by the server, its timers armed. What runs after a context went
// must find its owners gone and leave them alone.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

constexpr const char* kAppID = "1:123456789012:ios:0123456789abcdef0123456789abcdef";
constexpr auto kPatience = 20s;  // only a real hang takes this long

class ContextTeardownTest : public ::testing::Test {
 protected:
  ContextTeardownTest() {
    const auto hold = [this](const httplib::Request&, httplib::Response& response) {
      std::unique_lock lock(mutex);
      released.wait(lock, [this] { return isReleased; });
      response.status = 503;
      ++answered;
    };
    server.server().Get(".*", hold);
    server.server().Post(".*", hold);
    server.start();
    user.environment().set("BEACON_SERVICE_ORIGIN", server.baseURL());
    user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-teardown-tests"}});
    testing::forgetProcessWideState();
    classes.registerClass("BCNAnalytics");
  }
  ~ContextTeardownTest() override {
    release();
    testing::forgetProcessWideState();
  }

  std::shared_ptr<AnalyticsContext> makeContext() {
    testing::FakeReachability::instance().callback = nullptr;
    return std::make_shared<AnalyticsContext>(AnalyticsContext::Services{
        dispatch.sharedClock(), &classes, &notifications, nullptr, false, &testing::FakeReachability::api()});
  }
  void release() {
    std::lock_guard lock(mutex);
    isReleased = true;
    released.notify_all();
  }
  std::size_t answeredRequests() {
    std::lock_guard lock(mutex);
    return answered;
  }

  platform::testing::LocalHttpServer server;
  platform::testing::TemporaryUser user;
  platform::DeterministicDispatch dispatch;
  platform::ClassDirectory classes;
  platform::NotificationCenter notifications;
  std::mutex mutex;
  std::condition_variable released;
  bool isReleased = false;
  std::size_t answered = 0;
};

TEST_F(ContextTeardownTest, WorkLeftPendingByDestroyedContextsFindsThemGone) {
  {
    AnalyticsContext::Scope scope(makeContext());
    BMSAnalytics::startWithAppID(kAppID, "ba", {{}, nullptr});
    // The analytics queue alone: the start hands the app-delegate proxy to the main queue.
    scope.context().facade().queue()->sync([] {});
  }
  {
    AnalyticsContext::Scope scope(makeContext());
    BMSAnalytics::startWithAppID(kAppID, "ba", {{}, nullptr});
    dispatch.drain();
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    BMSAnalytics::logEventWithName("app_open", {});
    dispatch.advance(1min);
    ASSERT_TRUE(platform::runUntil([&] { return !server.requests().empty(); }, kPatience));
  }
  release();
  ASSERT_TRUE(platform::runUntil([&] { return answeredRequests() == server.requests().size(); }, kPatience));
  // The answer reaches owners that are gone; then every armed timer comes due.
  platform::runMainQueueFor(100ms);
  dispatch.advance(48h);
}

}  // namespace
}  // namespace beacon
