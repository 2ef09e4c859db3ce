#pragma once
// What every settings widget test stands on: a temporary user (home, preferences, bundle), the
// deterministic dispatch backend for the main queue, an analytics service over a recording SDK, a
// review manager over an in-memory bundle, a fake app directory, a recording workspace and an
// artwork loader over a fake HTTP client.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <map>
#include <sstream>

#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/services/testing/FakeAppDirectory.h"
#include "Velloran/settings/SettingsEnvironment.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/time/ManualClock.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran::testing {

// Answers each URL with the response set for it, or a transport failure; completes on the given
// queue like the real client.
class FakeHttpClient final : public platform::HttpClient {
 public:
  void send(platform::HttpRequest request, platform::QueueRef queue,
            platform::HttpCompletion completion) override {
    requested.push_back(request.url);
    const auto found = responses.find(request.url);
    platform::Result<platform::HttpResponse> result =
        found != responses.end()
            ? platform::Result<platform::HttpResponse>(found->second)
            : platform::Result<platform::HttpResponse>(platform::Error("Test", 1, "offline"));
    queue->async([completion = std::move(completion), result = std::move(result)] { completion(result); });
  }

  std::map<std::string, platform::HttpResponse> responses;
  std::vector<std::string> requested;
};

// A PNG of the given size in one colour.
inline platform::Bytes pngBytes(int width, int height, QColor color) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(color);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return platform::Bytes(data.begin(), data.end());
}

class SettingsTestBed : public ::testing::Test {
 protected:
  SettingsTestBed() {
    defaults_ = platform::PreferencesDomain::named("settings-test");
    analytics_ = std::make_unique<AnalyticsService>(defaults_, sdk_, console_);
    useInfo({{"CFBundleShortVersionString", platform::Value("1.0")}});
  }

  // The review manager reads `info` as its Info.plist.
  void useInfo(platform::Dictionary info) {
    reviewManager_ = std::make_unique<AppReviewManager>(
        defaults_, clock_, std::make_shared<platform::Bundle>(launch_.user().bundle(), std::move(info)),
        reviewRequester_, workspace_);
  }

  // Runs the process as a test run, as the harness variable does.
  void becomeTestRun() { launch_.becomeTestRun(); }

  SettingsEnvironment environment() {
    return SettingsEnvironment{defaults_,  *analytics_, *reviewManager_,
                               directory_, workspace_,  std::make_shared<ArtworkLoader>(http_)};
  }

  platform::DeterministicDispatch dispatch_;
  OrdinaryLaunch launch_;
  platform::ManualClock clock_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<RecordingAnalyticsSdk> sdk_ = std::make_shared<RecordingAnalyticsSdk>();
  std::ostringstream console_;
  std::unique_ptr<AnalyticsService> analytics_;
  std::shared_ptr<platform::testing::RecordingReviewRequester> reviewRequester_ =
      std::make_shared<platform::testing::RecordingReviewRequester>();
  std::shared_ptr<platform::testing::RecordingWorkspace> workspace_ =
      std::make_shared<platform::testing::RecordingWorkspace>();
  std::unique_ptr<AppReviewManager> reviewManager_;
  std::shared_ptr<FakeAppDirectory> directory_ = std::make_shared<FakeAppDirectory>();
  std::shared_ptr<FakeHttpClient> http_ = std::make_shared<FakeHttpClient>();
};

}  // namespace velloran::testing
