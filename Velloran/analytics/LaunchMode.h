#pragma once
// How the process was started: normally, as a UI-test run (one launch argument is exactly
// "-ui-testing"), or under a test harness (the environment has "XCTestConfigurationFilePath",
// whatever its value, empty included). Either test mode makes the run a test run: an in-memory
// store, the mock sync service, no analytics and no launch counting.
//
// A UI-test run starts from a fixed preferences state: prepareUITestDefaults removes the whole
// application domain (every key, the review counters and the analytics choice included) and writes
// "AppleLanguages" = ["de"], "AppleLocale" = "de_DE", "analyticsPromptShown" = true,
// "analyticsEnabled" = false and "promptListHintHidden" = true, in that order.

#include <string>
#include <vector>

namespace velloran {

inline constexpr const char* kUITestingArgument = "-ui-testing";
inline constexpr const char* kTestHarnessVariable = "XCTestConfigurationFilePath";

struct LaunchMode {
  bool isUITesting = false;
  bool isTesting = false;

  // `arguments`: every launch argument, the program name included, compared whole.
  static LaunchMode from(const std::vector<std::string>& arguments, bool hasHarnessVariable);
  // This process's mode, from its raw launch arguments and environment.
  static LaunchMode current();

  friend bool operator==(const LaunchMode&, const LaunchMode&) = default;
};

// Resets the preferences domain `bundleIdentifier` to the UI-test state above. Main thread, before
// anything else reads that domain.
void prepareUITestDefaults(const std::string& bundleIdentifier);

}  // namespace velloran
