#include "Velloran/analytics/AnalyticsConsent.h"

namespace velloran {

AnalyticsConsent::AnalyticsConsent(std::shared_ptr<platform::PreferencesDomain> defaults,
                                   AnalyticsService& analytics)
    : defaults_(std::move(defaults)), analytics_(analytics) {}

bool AnalyticsConsent::isEnabled() const {
  return analytics_.isEnabled();
}

void AnalyticsConsent::choose(bool enabled) {
  if (enabled == isEnabled() || AnalyticsService::isTestingEnvironment()) {
    store(kAnalyticsEnabledKey, enabled);
    return;
  }
  analytics_.setEnabled(enabled);
}

bool AnalyticsConsent::takeAskRequest() {
  if (defaults_->boolForKey(kAnalyticsPromptShownKey)) return false;
  store(kAnalyticsPromptShownKey, true);
  return true;
}

void AnalyticsConsent::apply() {
  analytics_.applyCollectionSetting();
}

void AnalyticsConsent::store(const char* key, bool value) {
  // A Boolean always has a stored form; a failed disk write stays pending in the domain, which
  // retries it by itself: nothing for a window to act on.
  (void)defaults_->setObject(key, platform::Value(value));
}

}  // namespace velloran
