#pragma once
// The fixture of the tests that run the real velloran executable: a temporary user, the offscreen
// platform, an ordinary launch (no test-harness variable), the bundle the build made, and a
// loopback server standing in for every SDK service, so no run can reach the internet. The
// preferences and files a run left behind are read back from the temporary user's folders.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AppProcess.h"
#include "platform/bundle/Bundle.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/plist/PropertyList.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran::testing {

class AppProcessFixture : public ::testing::Test {
 protected:
  AppProcessFixture() {
    services_.start();
    user_.environment().set("VELLORAN_BUNDLE_DIR", VELLORAN_BUILD_BUNDLE_DIR);
    user_.environment().set("QT_QPA_PLATFORM", "offscreen");
    user_.environment().set("XCTestConfigurationFilePath", std::nullopt);
    user_.environment().set("BEACON_SERVICE_ORIGIN", services_.baseURL());
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
    bundleIdentifier_ = platform::Bundle::main()->bundleIdentifier().value_or("");
  }
  ~AppProcessFixture() override {
    platform::PreferencesDomain::resetForTesting();
    platform::Bundle::resetMainForTesting();
  }

  // Runs the app with `arguments`, asked to stop as soon as its event loop runs; answers its exit
  // status (-1 when it crashed or hung). Its output stays readable in output().
  int runApp(const std::vector<std::string>& arguments = {}) {
    AppProcess app(VELLORAN_EXECUTABLE, arguments, user_.root(), AppProcess::Start::stopRequested);
    EXPECT_TRUE(app.started()) << "could not start " << VELLORAN_EXECUTABLE;
    const int status = app.waitForExit();
    output_ = app.standardOutput();
    errors_ = app.standardError();
    return status;
  }

  // The app, started and left running until the test asks it to stop.
  std::unique_ptr<AppProcess> startApp(const std::vector<std::string>& arguments = {}) {
    auto app = std::make_unique<AppProcess>(VELLORAN_EXECUTABLE, arguments, user_.root(),
                                            AppProcess::Start::running);
    EXPECT_TRUE(app->started()) << "could not start " << VELLORAN_EXECUTABLE;
    return app;
  }

  // Stores `values` in the application's preferences, as an earlier run would have.
  void preferencesHold(const platform::Dictionary& values) {
    const auto defaults = platform::PreferencesDomain::application();
    for (const auto& [key, value] : values) ASSERT_TRUE(defaults->setObject(key, value).ok());
    platform::PreferencesDomain::resetForTesting();
  }

  // The application's preferences as the file on disk holds them.
  platform::Dictionary storedPreferences() const {
    const auto file = user_.configHome() / bundleIdentifier_ / "Preferences" / (bundleIdentifier_ + ".plist");
    platform::Result<platform::Value> read = platform::readPropertyListFile(file);
    if (!read.ok() || !read.value().isDictionary()) return {};
    return *read.value().asDictionary();
  }

  // The analytics SDK's database, in the folder it keeps its measurements in.
  std::filesystem::path measurementDatabase() const {
    return measurementFolder() / "corvane-app-measurement.sql";
  }
  std::filesystem::path measurementFolder() const {
    return user_.dataHome() / bundleIdentifier_ / "Corvane" / "Measurement";
  }

  // The build's bundle copied into the temporary user's bundle folder, with "BeaconService-Info.plist"
  // holding `serviceInfo` instead (nothing at all for nullopt); the app runs from this copy.
  void useBundleWithServiceInfo(const std::optional<platform::Value>& serviceInfo) {
    const std::filesystem::path build(VELLORAN_BUILD_BUNDLE_DIR);
    std::filesystem::copy_file(build / "Info.plist", user_.bundle() / "Info.plist",
                               std::filesystem::copy_options::overwrite_existing);
    if (serviceInfo)
      platform::testing::writePropertyListFile(user_.bundle() / "BeaconService-Info.plist", *serviceInfo);
    user_.environment().set("VELLORAN_BUNDLE_DIR", user_.bundle().string());
  }

  // The options file the build put into the bundle.
  static platform::Dictionary buildServiceInfo() {
    platform::Result<platform::Value> read = platform::readPropertyListFile(
        std::filesystem::path(VELLORAN_BUILD_BUNDLE_DIR) / "BeaconService-Info.plist");
    if (!read.ok() || !read.value().isDictionary()) return {};
    return *read.value().asDictionary();
  }

  platform::testing::TemporaryUser user_;
  platform::testing::LocalHttpServer services_;
  std::string bundleIdentifier_;
  std::string output_;
  std::string errors_;
};

}  // namespace velloran::testing
