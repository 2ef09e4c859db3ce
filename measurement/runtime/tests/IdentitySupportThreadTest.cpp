#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSDefaultIdentitySupport.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

// Answers only once the test lets it.
class SlowIdentityComponent : public BMSIdentitySupport {
 public:
  bool hasAppDataConsentStatus() override { return false; }
  std::uint64_t appDataConsentStatus() override { return 0; }
  bool hasLimitedAdTracking() override { return true; }
  bool limitedAdTracking() override { return false; }
  std::optional<std::string> resettableDeviceID() override {
    std::unique_lock lock(mutex);
    released.wait(lock, [this] { return release; });
    return "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  }
  void letAnswer() {
    {
      std::lock_guard lock(mutex);
      release = true;
    }
    released.notify_all();
  }

  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
};

TEST(IdentitySupportThreadTest, SlowComponentGivesNothingFirstAndItsAnswerLater) {
  platform::ClassDirectory classes;
  auto component = std::make_shared<SlowIdentityComponent>();
  classes.registerClass<BMSIdentitySupport>(kBMSPlatformIdentitySupportClassName, component);
  AnalyticsContext::Scope scope(
      std::make_shared<AnalyticsContext>(AnalyticsContext::Services{nullptr, &classes}));
  BMSDefaultIdentitySupport& support = BMSDefaultIdentitySupport::shared();

  EXPECT_EQ(support.resettableDeviceID(), std::nullopt);
  component->letAnswer();
  // The answer of the first ask lands while the second waits its 10 ms, or is stored already.
  std::optional<std::string> later;
  for (int attempt = 0; attempt < 500 && !later; ++attempt) later = support.resettableDeviceID();
  EXPECT_EQ(later, "6D92078A-8246-4BA4-AE5B-76104861E7DC");
}

}  // namespace
}  // namespace beacon
