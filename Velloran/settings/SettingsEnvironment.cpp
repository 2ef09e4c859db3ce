#include "Velloran/settings/SettingsEnvironment.h"

#include "platform/net/HttpClient.h"

namespace velloran {

SettingsEnvironment SettingsEnvironment::application() {
  return SettingsEnvironment{platform::PreferencesDomain::application(),
                             AnalyticsService::shared(),
                             AppReviewManager::shared(),
                             nullptr,
                             platform::Workspace::shared(),
                             std::make_shared<ArtworkLoader>(platform::HttpClient::shared())};
}

}  // namespace velloran
