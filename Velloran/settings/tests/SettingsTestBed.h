#pragma once
// What every settings widget test stands on: the application's services over test doubles
// (AppServicesBed.h) with a review manager over an in-memory bundle, and an artwork loader over a
// fake HTTP client.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <map>

#include "Velloran/services/testing/AppServicesBed.h"
#include "Velloran/settings/SettingsEnvironment.h"

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

class SettingsTestBed : public ::testing::Test, public AppServicesBed {
 protected:
  SettingsTestBed()
      : AppServicesBed([](OrdinaryLaunch&) { return platform::PreferencesDomain::named("settings-test"); }) {
    useInfo({{"CFBundleShortVersionString", platform::Value("1.0")}});
  }

  // The review manager reads `info` as its Info.plist.
  void useInfo(platform::Dictionary info) {
    useBundle(std::make_shared<platform::Bundle>(launch_.user().bundle(), std::move(info)));
  }

  // From here on the preferences and the analytics service over them are kept in a folder that
  // refuses every write.
  void preferencesRefuseWrites() {
    defaults_ = launch_.preferencesThatRefuseWrites("settings-test");
    analytics_ = std::make_unique<AnalyticsService>(defaults_, sdk_, console_);
  }

  SettingsEnvironment environment() {
    return SettingsEnvironment{defaults_,  *analytics_, *reviewManager_,
                               directory_, workspace_,  std::make_shared<ArtworkLoader>(http_)};
  }

  std::shared_ptr<FakeHttpClient> http_ = std::make_shared<FakeHttpClient>();
};

}  // namespace velloran::testing
