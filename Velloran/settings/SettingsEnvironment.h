#pragma once
// What the settings sheet takes from outside: the composition root hands in the application's
// preferences, analytics service, review manager, app directory, workspace and artwork loader,
// tests their own.
//
// The analytics service and the review manager are referred to and must outlive every sheet made
// with the environment (the application's are process-wide).

#include <memory>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/services/AppDirectoryProviding.h"
#include "Velloran/services/AppReviewManager.h"
#include "Velloran/settings/ArtworkLoader.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/Workspace.h"

namespace velloran {

struct SettingsEnvironment {
  // Holds "analyticsEnabled".
  std::shared_ptr<platform::PreferencesDomain> defaults;
  AnalyticsService& analytics;
  AppReviewManager& reviewManager;
  // Where the other-apps section looks its apps up; null: the store's lookup.
  std::shared_ptr<AppDirectoryProviding> appDirectory;
  // Opens the other apps' store pages.
  std::shared_ptr<platform::Workspace> workspace;
  std::shared_ptr<ArtworkLoader> artwork;
};

}  // namespace velloran
