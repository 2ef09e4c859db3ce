#pragma once
// Shared set-up of the view-model tests (and of the views' test bed, which builds on it): the
// deterministic dispatch backend with its manual clock, a temporary user (so preferences never touch
// the real home) in an ordinary launch, the preference domain the analytics service keeps its
// consent in, an analytics service over the recording SDK outside any test-run mode, a console the
// test reads back, and prompt builders. Make the test bed before any store or view model: they take
// their queues from the backend current when they are made.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/data/PromptValues.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/viewmodels/ViewModelEnvironment.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/prefs/PreferencesDomain.h"

namespace velloran::testing {

class ViewModelTestBed {
 public:
  explicit ViewModelTestBed(const std::string& preferencesDomain = "view-model-test")
      : defaults_(platform::PreferencesDomain::named(preferencesDomain)),
        analytics_(std::make_unique<AnalyticsService>(defaults_, sdk_, analyticsConsole_)) {}

  ViewModelEnvironment environment() {
    return ViewModelEnvironment{.clock = dispatch_.sharedClock(),
                                .random = platform::systemRandomSource(),
                                .console = console_,
                                .analytics = *analytics_,
                                .mainQueue = platform::mainQueue()};
  }

  platform::DeterministicDispatch& dispatch() { return dispatch_; }
  void drain() { dispatch_.drain(); }
  platform::Date now() const { return dispatch_.clock().now(); }
  std::string console() const { return console_.str(); }
  RecordingAnalyticsSdk& sdk() { return *sdk_; }
  const std::shared_ptr<platform::PreferencesDomain>& defaults() const { return defaults_; }

 private:
  OrdinaryLaunch launch_;
  platform::DeterministicDispatch dispatch_;
  std::ostringstream console_;
  std::ostringstream analyticsConsole_;
  std::shared_ptr<RecordingAnalyticsSdk> sdk_ = std::make_shared<RecordingAnalyticsSdk>();
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::unique_ptr<AnalyticsService> analytics_;
};

// A prompt with the given title and tags, one version per text (numbered from 1), updated at
// `updatedAt` seconds.
inline Prompt samplePrompt(std::string title, std::vector<std::string> tags = {},
                           std::vector<std::string> versionTexts = {}, double updatedAt = 1000) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  prompt.type = PromptType::user;
  prompt.tags = std::move(tags);
  prompt.createdAt = platform::Date{updatedAt};
  prompt.updatedAt = platform::Date{updatedAt};
  std::int64_t number = 1;
  for (std::string& text : versionTexts) {
    prompt.versions.push_back(PromptVersion{.id = platform::UUID::random(),
                                            .promptRef = prompt.id,
                                            .content = std::move(text),
                                            .notes = {},
                                            .versionNumber = number++,
                                            .createdAt = platform::Date{updatedAt}});
  }
  return prompt;
}

}  // namespace velloran::testing
