#pragma once
// What the application's and the settings' widget tests stand on: the deterministic dispatch
// backend for the main queue, an ordinary launch under a temporary user, the preferences, an
// analytics service over a recording SDK, a review manager over a recording requester and
// workspace, and a fake app directory. A base of test fixtures; the members are theirs to use.

#include <functional>
#include <memory>
#include <sstream>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/services/AppReviewManager.h"
#include "Velloran/services/testing/FakeAppDirectory.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran::testing {

class AppServicesBed {
 protected:
  // `preferences` sets the temporary user up as the fixture needs and names the preferences the
  // services use; it runs once the user exists. The review manager reads the main bundle.
  explicit AppServicesBed(
      const std::function<std::shared_ptr<platform::PreferencesDomain>(OrdinaryLaunch&)>& preferences)
      : defaults_(preferences(launch_)),
        analytics_(std::make_unique<AnalyticsService>(defaults_, sdk_, console_)) {
    useBundle(platform::Bundle::main());
  }

  // A new review manager that reads `bundle`'s Info.plist.
  void useBundle(std::shared_ptr<const platform::Bundle> bundle) {
    reviewManager_ = std::make_unique<AppReviewManager>(defaults_, dispatch_.clock(), std::move(bundle),
                                                        reviewRequester_, workspace_);
  }

  // Runs the process as a test run, as the harness variable does.
  void becomeTestRun() { launch_.becomeTestRun(); }

  platform::DeterministicDispatch dispatch_;
  OrdinaryLaunch launch_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<RecordingAnalyticsSdk> sdk_ = std::make_shared<RecordingAnalyticsSdk>();
  std::ostringstream console_;
  std::unique_ptr<AnalyticsService> analytics_;
  std::shared_ptr<platform::testing::RecordingReviewRequester> reviewRequester_ =
      std::make_shared<platform::testing::RecordingReviewRequester>();
  std::shared_ptr<platform::testing::RecordingWorkspace> workspace_ =
      std::make_shared<platform::testing::RecordingWorkspace>();
  std::unique_ptr<AppReviewManager> reviewManager_;
  std::shared_ptr<FakeAppDirectory> directory_ = std::make_shared<FakeAppDirectory>();
};

}  // namespace velloran::testing
