#include "Velloran/analytics/AnalyticsService.h"

#include <iostream>

#include "Velloran/analytics/AnalyticsSdkBinding.h"
#include "Velloran/analytics/ChoiceFailureText.h"
#include "Velloran/analytics/LaunchMode.h"
#include "platform/error/Error.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

void requireMainThread(const char* operation) {
  if (!platform::ProcessInfo::isMainThread()) {
    throw platform::ProgrammerError(
        "AnalyticsServiceOffMainThread",
        std::string("AnalyticsService::") + operation + " called off the main thread");
  }
}

AnalyticsParameters promptParameters(const Prompt& prompt) {
  return {
      {"type", platform::Value(prompt.type.displayName())},
      {"tags_count", platform::Value(static_cast<std::int64_t>(prompt.tags.size()))},
      // 0 or 1 as an integer: event parameters are only ever strings or integers.
      {"is_system", platform::Value(static_cast<std::int64_t>(prompt.isSystem ? 1 : 0))},
  };
}

}  // namespace

AnalyticsService& AnalyticsService::shared() {
  static AnalyticsService instance(platform::PreferencesDomain::application(), makeBoundAnalyticsSdk(),
                                   std::cout);
  return instance;
}

AnalyticsService::AnalyticsService(std::shared_ptr<platform::PreferencesDomain> defaults,
                                   std::shared_ptr<AnalyticsSdk> sdk, std::ostream& console)
    : defaults_(std::move(defaults)), sdk_(std::move(sdk)), console_(console) {}

bool AnalyticsService::isEnabled() const {
  requireMainThread("isEnabled");
  if (!defaults_->objectForKey(kAnalyticsEnabledKey).has_value()) return kAnalyticsEnabledWithoutChoice;
  return defaults_->boolForKey(kAnalyticsEnabledKey);
}

bool AnalyticsService::isTestingEnvironment() {
  return LaunchMode::current().isTesting;
}

void AnalyticsService::configureIfNeeded() {
  requireMainThread("configureIfNeeded");
  if (didAttemptConfigure_) return;
  didAttemptConfigure_ = true;
  if (!sdk_->hasDefaultApp()) sdk_->configure();
  beaconReady_ = sdk_->hasDefaultApp();
  if (!beaconReady_) {
    // Flushed at once: the line must reach a console even when the process ends soon after.
    console_ << kAnalyticsConfigureFailedLine << '\n' << std::flush;
  }
}

void AnalyticsService::applyCollectionSetting() {
  requireMainThread("applyCollectionSetting");
  if (isTestingEnvironment()) return;
  applyConsent();
}

platform::Result<void> AnalyticsService::storeConsent(bool enabled) {
  requireMainThread("storeConsent");
  // A Boolean always has a property-list form: a failure is the disk's. The value stays in the
  // domain, pending, and the domain retries the write with its next change.
  platform::Result<void> stored = defaults_->setObject(kAnalyticsEnabledKey, platform::Value(enabled));
  if (!stored) console_ << kChoiceNotSavedText << stored.error().description << std::endl;
  return stored;
}

platform::Result<void> AnalyticsService::setEnabled(bool enabled) {
  requireMainThread("setEnabled");
  if (isTestingEnvironment()) return {};
  platform::Result<void> stored = storeConsent(enabled);
  applyConsent();
  return stored;
}

void AnalyticsService::applyConsent() {
  configureIfNeeded();
  // A default app may have been configured by someone else since the failed attempt.
  if (!beaconReady_ && !sdk_->hasDefaultApp()) return;
  sdk_->setAnalyticsCollectionEnabled(isEnabled());
  if (isEnabled()) {
    sdk_->logEventWithName("app_open", std::nullopt);
  } else {
    sdk_->resetAnalyticsData();
  }
}

void AnalyticsService::logPromptCreated(const Prompt& prompt) {
  requireMainThread("logPromptCreated");
  logPromptEvent("prompt_create", prompt);
}

void AnalyticsService::logPromptCopied(const Prompt& prompt) {
  requireMainThread("logPromptCopied");
  logPromptEvent("prompt_copy", prompt);
}

void AnalyticsService::logAppStoreOpen(const std::string& appName, std::optional<std::int64_t> appID) {
  requireMainThread("logAppStoreOpen");
  if (!mayLogEvents()) return;
  AnalyticsParameters parameters{{"app_name", platform::Value(appName)}};
  if (appID) parameters.emplace("app_id", platform::Value(std::to_string(*appID)));
  sdk_->logEventWithName("app_store_open", parameters);
}

void AnalyticsService::finishQueuedWork() {
  requireMainThread("finishQueuedWork");
  if (isTestingEnvironment() || !beaconReady_) return;
  // Work that does not finish in time is what a kill would have lost; the quit goes on regardless.
  (void)sdk_->closeDatabaseAfterQueuedWork(kQueuedWorkWaitAtQuit);
}

void AnalyticsService::logPromptEvent(const std::string& name, const Prompt& prompt) {
  // Whether the SDK is configured is not asked here: without a default app the SDK drops the event.
  if (!mayLogEvents()) return;
  sdk_->logEventWithName(name, promptParameters(prompt));
}

bool AnalyticsService::mayLogEvents() const {
  return !isTestingEnvironment() && isEnabled();
}

}  // namespace velloran
