#pragma once
// Decides when to ask the desktop for its rating prompt, and leads the user to the store page where
// a review is written.
//
// Launches are counted per application version in the preferences; the count restarts at 1 on the
// first launch of a new version. A prompt is requested on the third launch of a version when the
// last prompt belonged to another version or never happened, and after that on every fifth launch
// (8, 13, ...) once at least 90 calendar days (CalendarDays.h) have passed since the last prompt.
// Once the user has opened the write-review page no prompt is requested again, in any version.
//
// Preference keys: "appLaunchCountForCurrentVersion" (integer), "lastSeenAppVersion" (string),
// "userHasRatedApp" (bool), "lastReviewPromptDate" (date), "lastReviewPromptVersion" (string).
// Info.plist keys: "CFBundleShortVersionString" (the version), "APP_STORE_ID" (the store ID).
//
// Threads: main thread only. Nothing reports an error: a value the preferences cannot keep stays
// pending there (the domain retries its writes), and a missing store ID simply gives no link.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/bundle/Bundle.h"
#include "platform/net/Url.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/time/Clock.h"
#include "platform/workspace/ReviewRequester.h"
#include "platform/workspace/Workspace.h"

namespace velloran {

inline constexpr const char* kAppLaunchCountKey = "appLaunchCountForCurrentVersion";
inline constexpr const char* kLastSeenAppVersionKey = "lastSeenAppVersion";
inline constexpr const char* kUserHasRatedAppKey = "userHasRatedApp";
inline constexpr const char* kLastReviewPromptDateKey = "lastReviewPromptDate";
inline constexpr const char* kLastReviewPromptVersionKey = "lastReviewPromptVersion";

class AppReviewManager {
 public:
  static constexpr std::int64_t minimumLaunchesBeforePrompt = 3;
  static constexpr std::int64_t cadence = 5;
  static constexpr std::int64_t minimumDaysBetweenPrompts = 90;
  // Where the write-review page lives, and the store ID used when the Info.plist names none.
  static constexpr const char* kStoreHost = "apps.app-store.example";
  static constexpr const char* kBuiltInAppStoreID = "6740213958";

  // The process's instance over the application's preferences, the system clock, the main bundle
  // and the shared review requester and workspace, made on first use: main() installs the
  // application's requester and workspace before that.
  static AppReviewManager& shared();

  // `clock` must outlive the manager.
  AppReviewManager(std::shared_ptr<platform::PreferencesDomain> defaults, const platform::Clock& clock,
                   std::shared_ptr<const platform::Bundle> bundle,
                   std::shared_ptr<platform::ReviewRequester> reviewRequester,
                   std::shared_ptr<platform::Workspace> workspace);
  AppReviewManager(const AppReviewManager&) = delete;
  AppReviewManager& operator=(const AppReviewManager&) = delete;

  // One activation of the application: counts it for the current version and requests a prompt
  // when the rules allow.
  void registerLaunch();
  // Starts the count afresh (0) when `currentVersion` differs from the last version seen.
  void resetCountIfVersionChanged(const std::string& currentVersion);
  // Records the prompt (date and version) and then asks the requester, when the rules allow.
  void requestReviewIfAppropriate(std::int64_t launchCount, const std::string& currentVersion);
  bool shouldRequestReview(std::int64_t launchCount, const std::string& currentVersion);

  // The bundle's short version, trimmed; "0" when it is missing or not a string.
  std::string currentAppVersion() const;
  // Trimmed; "0" when nothing is left.
  static std::string normalizedVersion(std::string_view version);
  // The Info.plist's "APP_STORE_ID" as written when it is a non-empty string, else the built-in ID.
  std::string appStoreID() const;
  // "itms-apps://<store host>/app/id<trimmed ID>?action=write-review"; nothing when the ID is empty
  // or the text is not a valid URL (an ID with spaces, say).
  std::optional<platform::Url> writeReviewURL() const;
  // Marks the app as rated, then hands the write-review URL to the workspace (whose answer does not
  // matter); does nothing without a URL.
  void openWriteReviewPage();

 private:
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  const platform::Clock& clock_;
  std::shared_ptr<const platform::Bundle> bundle_;
  std::shared_ptr<platform::ReviewRequester> reviewRequester_;
  std::shared_ptr<platform::Workspace> workspace_;
};

}  // namespace velloran
