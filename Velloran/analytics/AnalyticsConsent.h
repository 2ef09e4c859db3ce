#pragma once
// The user's analytics consent as the windows see it: the one place that decides what a choice
// means, when the consent sheet is shown, and which call reaches AnalyticsService. Widgets only
// display the stored choice and forward clicks here.
//
//  - isEnabled(): the stored choice; kAnalyticsEnabledWithoutChoice while none is stored.
//  - choose(v): a click on the consent sheet or the settings switch. A choice that changes what is
//    in effect makes exactly one AnalyticsService::setEnabled call (which stores and applies it);
//    one that changes nothing, or any choice in a test run (LaunchMode.h), is only stored, so the
//    switch keeps showing it and nothing reaches the SDK. When the choice cannot be stored it
//    answers what the window shows (choiceNotSavedMessage, ChoiceFailureText.h) after the service
//    has written the failure to the console; the choice holds until the app quits all the same.
//  - takeAskRequest(): true exactly once per installation, the first time a window that can show
//    the consent sheet appears ("analyticsPromptShown").
//  - apply(): applies the stored choice; called whenever a window showing the consent appears.
//
// Holds no state of its own (everything lives in the preferences), so any number of instances over
// the same preferences agree. Main thread only, like AnalyticsService.

#include <memory>
#include <optional>
#include <string>

#include "Velloran/analytics/AnalyticsService.h"
#include "platform/prefs/PreferencesDomain.h"

namespace velloran {

inline constexpr const char* kAnalyticsPromptShownKey = "analyticsPromptShown";

class AnalyticsConsent {
 public:
  // `analytics` must outlive the object.
  AnalyticsConsent(std::shared_ptr<platform::PreferencesDomain> defaults, AnalyticsService& analytics);

  bool isEnabled() const;
  // Nothing once the choice is stored; otherwise why it was not, for the window.
  std::optional<std::string> choose(bool enabled);
  bool takeAskRequest();
  void apply();

 private:
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  AnalyticsService& analytics_;
};

}  // namespace velloran
