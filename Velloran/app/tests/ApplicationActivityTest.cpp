#include "Velloran/app/ApplicationActivity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velloran {
namespace {

constexpr const char* kLaunched = "ApplicationDidFinishLaunchingNotification";
constexpr const char* kBecameActive = "ApplicationDidBecomeActiveNotification";
constexpr const char* kResigns = "ApplicationWillResignActiveNotification";

class ApplicationActivityTest : public ::testing::Test {
 protected:
  ApplicationActivityTest() {
    for (const char* name : {kLaunched, kBecameActive, kResigns}) {
      tokens_.push_back(center_.addObserver(
          name, nullptr, nullptr,
          [this](const platform::Notification& posted) { posted_.push_back(posted.name); }));
    }
  }

  platform::NotificationCenter center_;
  std::vector<platform::ObserverToken> tokens_;
  std::vector<std::string> posted_;
  ApplicationActivity activity_{center_};
};

TEST_F(ApplicationActivityTest, LaunchingIsToldOnce) {
  activity_.didFinishLaunching();
  activity_.didFinishLaunching();
  EXPECT_EQ(posted_, std::vector<std::string>{kLaunched});
}

TEST_F(ApplicationActivityTest, OnlyChangesIntoAndOutOfTheActivePhaseAreTold) {
  activity_.scenePhaseChanged(ScenePhase::inactive, ScenePhase::active);
  activity_.scenePhaseChanged(ScenePhase::active, ScenePhase::inactive);
  activity_.scenePhaseChanged(ScenePhase::inactive, ScenePhase::background);
  activity_.scenePhaseChanged(ScenePhase::background, ScenePhase::active);
  activity_.scenePhaseChanged(ScenePhase::active, ScenePhase::background);
  activity_.scenePhaseChanged(ScenePhase::background, ScenePhase::inactive);

  EXPECT_EQ(posted_, (std::vector<std::string>{kBecameActive, kResigns, kBecameActive, kResigns}));
}

TEST_F(ApplicationActivityTest, QuittingWhileActiveResignsFirstAndThenNothingIsTold) {
  activity_.scenePhaseChanged(ScenePhase::inactive, ScenePhase::active);
  activity_.willTerminate();
  activity_.willTerminate();
  activity_.scenePhaseChanged(ScenePhase::active, ScenePhase::inactive);
  activity_.scenePhaseChanged(ScenePhase::inactive, ScenePhase::active);
  activity_.didFinishLaunching();

  EXPECT_EQ(posted_, (std::vector<std::string>{kBecameActive, kResigns}));
}

TEST_F(ApplicationActivityTest, QuittingWhileNotActiveTellsNothing) {
  activity_.scenePhaseChanged(ScenePhase::inactive, ScenePhase::active);
  activity_.scenePhaseChanged(ScenePhase::active, ScenePhase::background);
  activity_.willTerminate();

  EXPECT_EQ(posted_, (std::vector<std::string>{kBecameActive, kResigns}));
}

}  // namespace
}  // namespace velloran
