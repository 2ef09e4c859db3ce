#pragma once
// The application's only gateway to the analytics SDK: it keeps the user's consent in the
// application's preferences, configures the SDK at most once per process, switches collection on
// or off by the consent and logs the application's four events ("app_open", "prompt_create",
// "prompt_copy", "app_store_open").
//
// In a test run (the environment holds "XCTestConfigurationFilePath", or a launch argument is
// exactly "-ui-testing") nothing reaches the SDK and setEnabled writes nothing.
//
// Threads: confined to the main thread; every operation throws platform::ProgrammerError when
// called from another thread. shared() may be first reached from any caller on the main thread.
// Failures: a failed configuration prints one line to the console and leaves the SDK alone from
// then on. A consent that cannot be stored prints "Auswahl konnte nicht gespeichert werden: " and
// the error to the console and is answered to the caller, for the window to say so; it is applied
// all the same and stays in the preferences in memory, so it holds until the app quits.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "Velloran/analytics/AnalyticsSdk.h"
#include "Velloran/data/PromptValues.h"
#include "platform/error/Result.h"
#include "platform/prefs/PreferencesDomain.h"

namespace velloran {

inline constexpr const char* kAnalyticsEnabledKey = "analyticsEnabled";
// What a user who has not chosen yet is taken to have chosen.
inline constexpr bool kAnalyticsEnabledWithoutChoice = true;
// Printed once per process when configuring the SDK left no default app.
inline constexpr const char* kAnalyticsConfigureFailedLine =
    "Beacon Analytics: BeaconApp.configure() fehlgeschlagen – bitte BeaconService-Info.plist prüfen.";
// How long quitting waits at most for the SDK to store what it has queued and close its database:
// long enough for a busy disk, short enough that a stuck SDK never holds the quit up noticeably.
inline constexpr std::chrono::milliseconds kQueuedWorkWaitAtQuit{2000};

class AnalyticsService {
 public:
  // The process's instance over the application's preferences, the bound SDK
  // (AnalyticsSdkBinding.h) and standard output; made on first use.
  static AnalyticsService& shared();

  // `console` receives the failure line; it must outlive the service.
  AnalyticsService(std::shared_ptr<platform::PreferencesDomain> defaults, std::shared_ptr<AnalyticsSdk> sdk,
                   std::ostream& console);
  AnalyticsService(const AnalyticsService&) = delete;
  AnalyticsService& operator=(const AnalyticsService&) = delete;

  // The stored consent read as a Boolean; kAnalyticsEnabledWithoutChoice while nothing is stored.
  bool isEnabled() const;
  // Whether this process is a test run (LaunchMode.h), read anew on every call.
  static bool isTestingEnvironment();

  // The first call configures the SDK unless it already has a default app and records whether a
  // default app exists afterwards; later calls do nothing.
  void configureIfNeeded();
  // Applies the stored consent: switches collection, then logs "app_open" (consent given) or
  // resets the analytics data (withheld). Called at start-up and whenever a window that shows the
  // consent appears.
  void applyCollectionSetting();
  // Stores the user's consent without applying it; answers a failed write (see above).
  platform::Result<void> storeConsent(bool enabled);
  // Stores the new consent and applies it; answers a failed write (see above). Writes nothing in a
  // test run.
  platform::Result<void> setEnabled(bool enabled);

  void logPromptCreated(const Prompt& prompt);
  void logPromptCopied(const Prompt& prompt);
  // "app_id" carries the decimal text of `appID` and is left out without one.
  void logAppStoreOpen(const std::string& appName, std::optional<std::int64_t> appID);

  // The application quits: gives a configured SDK at most kQueuedWorkWaitAtQuit to store what it
  // has queued, then has it close its database. Does nothing in a test run or when configuring
  // failed.
  void finishQueuedWork();

 private:
  // Steps shared by applyCollectionSetting and setEnabled once the test-run guard has passed.
  void applyConsent();
  void logPromptEvent(const std::string& name, const Prompt& prompt);
  // Whether an event may be handed to the SDK at all.
  bool mayLogEvents() const;

  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<AnalyticsSdk> sdk_;
  std::ostream& console_;
  bool didAttemptConfigure_ = false;
  bool beaconReady_ = false;
};

}  // namespace velloran
