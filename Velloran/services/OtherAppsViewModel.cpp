#include "Velloran/services/OtherAppsViewModel.h"

#include "Velloran/services/AppStoreLookupService.h"
#include "Velloran/services/LookupError.h"
#include "Velloran/services/OtherAppsCatalog.h"
#include "platform/net/HttpClient.h"

namespace velloran {

std::shared_ptr<OtherAppsViewModel> OtherAppsViewModel::make(std::vector<std::string> appIDs,
                                                             std::shared_ptr<AppDirectoryProviding> service,
                                                             std::shared_ptr<platform::Workspace> workspace,
                                                             AnalyticsService& analytics) {
  if (!service) service = std::make_shared<AppStoreLookupService>(platform::HttpClient::shared());
  return std::shared_ptr<OtherAppsViewModel>(
      new OtherAppsViewModel(std::move(appIDs), std::move(service), std::move(workspace), analytics));
}

OtherAppsViewModel::OtherAppsViewModel(std::vector<std::string> appIDs,
                                       std::shared_ptr<AppDirectoryProviding> service,
                                       std::shared_ptr<platform::Workspace> workspace,
                                       AnalyticsService& analytics)
    : appIDs_(std::move(appIDs)),
      service_(std::move(service)),
      descriptionsByID_(otherAppDescriptions()),
      workspace_(std::move(workspace)),
      analytics_(analytics) {}

OtherAppsViewModel::Content OtherAppsViewModel::content() const {
  if (!apps_.empty()) return Content::loaded;
  if (isLoading_) return Content::loading;
  if (errorMessage_) return Content::failed;
  return Content::empty;
}

void OtherAppsViewModel::setChangeHandler(std::function<void()> handler) {
  changeHandler_ = std::move(handler);
}

void OtherAppsViewModel::load() {
  if (isLoading_) return;
  isLoading_ = true;
  errorMessage_.reset();
  changed();
  service_->fetchApps(appIDs_,
                      [weakSelf = weak_from_this()](platform::Result<std::vector<AppStoreApp>> result) {
                        if (const auto self = weakSelf.lock()) self->finishLoading(std::move(result));
                      });
}

void OtherAppsViewModel::appear() {
  if (!hasLoadedOnce_) load();
}

void OtherAppsViewModel::finishLoading(platform::Result<std::vector<AppStoreApp>> result) {
  if (result.ok()) {
    std::vector<AppStoreApp> apps = std::move(result).value();
    for (AppStoreApp& app : apps) {
      if (const auto description = descriptionsByID_.find(app.id); description != descriptionsByID_.end()) {
        app.subtitle = description->second;
      }
    }
    apps_ = std::move(apps);
    hasLoadedOnce_ = true;
  } else {
    // Only the lookup's own failures carry a text meant for the user.
    errorMessage_ =
        LookupError::from(result.error()) ? result.error().description : kOtherAppsLoadFailedMessage;
  }
  isLoading_ = false;
  changed();
}

const AppStoreApp* OtherAppsViewModel::shownApp(std::int64_t appID) const {
  for (const AppStoreApp& app : apps_) {
    if (app.id == appID) return &app;
  }
  return nullptr;
}

std::optional<platform::Url> OtherAppsViewModel::storePageURL(std::int64_t appID) const {
  const AppStoreApp* app = shownApp(appID);
  if (!app || !app->appStoreURL || !app->appStoreURL->isWeb()) return std::nullopt;
  return app->appStoreURL;
}

bool OtherAppsViewModel::openStorePage(std::int64_t appID) {
  const std::optional<platform::Url> url = storePageURL(appID);
  if (!url) return false;
  analytics_.logAppStoreOpen(shownApp(appID)->name, appID);
  workspace_->openURL(url->string());
  return true;
}

void OtherAppsViewModel::changed() {
  if (changeHandler_) changeHandler_();
}

}  // namespace velloran
