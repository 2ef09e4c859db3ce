#include "Velloran/services/AppReviewManager.h"

#include <limits>

#include "Velloran/services/CalendarDays.h"
#include "platform/text/Characters.h"
#include "platform/time/SystemClock.h"

namespace velloran {

using platform::Value;

AppReviewManager& AppReviewManager::shared() {
  static AppReviewManager instance(platform::PreferencesDomain::application(),
                                   platform::SystemClock::shared(), platform::Bundle::main(),
                                   platform::ReviewRequester::shared(), platform::Workspace::shared());
  return instance;
}

AppReviewManager::AppReviewManager(std::shared_ptr<platform::PreferencesDomain> defaults,
                                   const platform::Clock& clock,
                                   std::shared_ptr<const platform::Bundle> bundle,
                                   std::shared_ptr<platform::ReviewRequester> reviewRequester,
                                   std::shared_ptr<platform::Workspace> workspace)
    : defaults_(std::move(defaults)),
      clock_(clock),
      bundle_(std::move(bundle)),
      reviewRequester_(std::move(reviewRequester)),
      workspace_(std::move(workspace)) {}

void AppReviewManager::registerLaunch() {
  const std::string version = normalizedVersion(currentAppVersion());
  resetCountIfVersionChanged(version);
  std::int64_t count = defaults_->integerForKey(kAppLaunchCountKey);
  // A tampered preferences file could hold the largest integer; the count then stays there.
  if (count < std::numeric_limits<std::int64_t>::max()) count += 1;
  // Setting an integer cannot be refused; a failed disk write stays pending in the domain.
  (void)defaults_->setObject(kAppLaunchCountKey, Value(count));
  requestReviewIfAppropriate(count, version);
}

void AppReviewManager::resetCountIfVersionChanged(const std::string& currentVersion) {
  if (defaults_->stringForKey(kLastSeenAppVersionKey) == currentVersion) return;
  (void)defaults_->setObject(kLastSeenAppVersionKey, Value(currentVersion));
  (void)defaults_->setObject(kAppLaunchCountKey, Value(std::int64_t{0}));
}

void AppReviewManager::requestReviewIfAppropriate(std::int64_t launchCount,
                                                  const std::string& currentVersion) {
  if (!shouldRequestReview(launchCount, currentVersion)) return;
  // Recorded first: the attempt counts as a prompt whether or not the desktop shows one.
  (void)defaults_->setObject(kLastReviewPromptDateKey, Value(clock_.now()));
  (void)defaults_->setObject(kLastReviewPromptVersionKey, Value(currentVersion));
  reviewRequester_->requestReview();
}

bool AppReviewManager::shouldRequestReview(std::int64_t launchCount, const std::string& currentVersion) {
  if (defaults_->boolForKey(kUserHasRatedAppKey)) return false;
  if (launchCount < minimumLaunchesBeforePrompt) return false;
  if ((launchCount - minimumLaunchesBeforePrompt) % cadence != 0) return false;

  const std::optional<Value> stored = defaults_->objectForKey(kLastReviewPromptDateKey);
  if (!stored || !stored->isDate()) return true;
  const std::string lastVersion = defaults_->stringForKey(kLastReviewPromptVersionKey).value_or("0");
  if (normalizedVersion(lastVersion) != currentVersion) return true;

  const std::optional<std::int64_t> days = wholeCalendarDays(*stored->asDate(), clock_.now());
  return days && *days >= minimumDaysBetweenPrompts;
}

std::string AppReviewManager::currentAppVersion() const {
  const std::optional<std::string> version = bundle_->shortVersionString();
  return version ? platform::trimmed(*version) : "0";
}

std::string AppReviewManager::normalizedVersion(std::string_view version) {
  std::string normalized = platform::trimmed(version);
  return normalized.empty() ? "0" : normalized;
}

std::string AppReviewManager::appStoreID() const {
  const Value* configured = bundle_->objectForInfoDictionaryKey("APP_STORE_ID");
  if (configured && configured->isString() && !configured->asString()->empty())
    return *configured->asString();
  return kBuiltInAppStoreID;
}

std::optional<platform::Url> AppReviewManager::writeReviewURL() const {
  const std::string id = platform::trimmed(appStoreID());
  if (id.empty()) return std::nullopt;
  return platform::Url::parse(std::string("itms-apps://") + kStoreHost + "/app/id" + id +
                              "?action=write-review");
}

void AppReviewManager::openWriteReviewPage() {
  const std::optional<platform::Url> url = writeReviewURL();
  if (!url) return;
  (void)defaults_->setObject(kUserHasRatedAppKey, Value(true));
  workspace_->openURL(url->string());
}

}  // namespace velloran
