#include "Velloran/analytics/AnalyticsConsent.h"

#include "Velloran/analytics/ChoiceFailureText.h"

namespace velloran {

AnalyticsConsent::AnalyticsConsent(std::shared_ptr<platform::PreferencesDomain> defaults,
                                   AnalyticsService& analytics)
    : defaults_(std::move(defaults)), analytics_(analytics) {}

bool AnalyticsConsent::isEnabled() const {
  return analytics_.isEnabled();
}

std::optional<std::string> AnalyticsConsent::choose(bool enabled) {
  const bool applies = enabled != isEnabled() && !AnalyticsService::isTestingEnvironment();
  const platform::Result<void> stored =
      applies ? analytics_.setEnabled(enabled) : analytics_.storeConsent(enabled);
  if (stored) return std::nullopt;
  return choiceNotSavedMessage(stored.error());
}

bool AnalyticsConsent::takeAskRequest() {
  if (defaults_->boolForKey(kAnalyticsPromptShownKey)) return false;
  // Not the user's choice: a failed write is the preferences' to log, and the sheet simply comes
  // again at the next start.
  (void)defaults_->setObject(kAnalyticsPromptShownKey, platform::Value(true));
  return true;
}

void AnalyticsConsent::apply() {
  analytics_.applyCollectionSetting();
}

}  // namespace velloran
