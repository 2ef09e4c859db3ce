#pragma once
// Test support for code that behaves differently in a test run (AnalyticsService, the launch mode):
// a temporary user, and the process made to look like an ordinary launch of the application — the
// test harness variable unset, the launch arguments only the program's path — with the main bundle
// and the preference domains looked up afresh. All of it is put back when the object goes.
//
// Changes process-wide state: for the test's own thread, one at a time.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran::testing {

// The line an ordinary launch prints when the SDK cannot be configured, spelled out apart from the
// application's own text so that a changed text fails the tests.
inline constexpr const char* kConfigureFailureLine =
    "Beacon Analytics: BeaconApp.configure() fehlgeschlagen \xE2\x80\x93 bitte BeaconService-Info.plist "
    "pr\xC3\xBC"
    "fen.\n";

class OrdinaryLaunch {
 public:
  OrdinaryLaunch();
  ~OrdinaryLaunch();
  OrdinaryLaunch(const OrdinaryLaunch&) = delete;
  OrdinaryLaunch& operator=(const OrdinaryLaunch&) = delete;

  platform::testing::TemporaryUser& user() { return user_; }
  const platform::testing::TemporaryUser& user() const { return user_; }

  // The process becomes a test run, as under the test harness.
  void becomeTestRun();

  // The preference domain `name`, kept in a file under the user's config folder (the main bundle
  // gains an identifier for that), in a folder that refuses every write to it: each change stays in
  // memory and reports the failed write.
  std::shared_ptr<platform::PreferencesDomain> preferencesThatRefuseWrites(const std::string& name);
  // The folder takes the domain's writes again.
  void preferencesAcceptWrites(const std::string& name);

 private:
  std::filesystem::path preferencesFile(const std::string& name) const;

  platform::testing::TemporaryUser user_;
};

}  // namespace velloran::testing
