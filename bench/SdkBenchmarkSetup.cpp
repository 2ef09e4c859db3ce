#include "bench/SdkBenchmarkSetup.h"

#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/keychain/Keychain.h"
#include "platform/prefs/PreferencesDomain.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"

namespace beacon::bench {

void installSdkOptions(platform::testing::TemporaryUser& user, const std::string& serviceOrigin) {
  user.environment().set("BEACON_SERVICE_ORIGIN", serviceOrigin);
  user.writeInfo({{"CFBundleIdentifier", platform::Value(kBenchmarkBundleID)},
                  {"CFBundleShortVersionString", platform::Value("1.0")}});
  platform::testing::writePropertyListFile(
      user.bundle() / "BeaconService-Info.plist",
      platform::Dictionary{{kBCNCorvaneAppIDKey, kBenchmarkAppID},
                           {kBCNCCMSenderIDKey, "804215367190"},
                           {kBCNAPIKeyKey, "AVelloranDesktopPromptLibrary2026120701"},
                           {kBCNProjectIDKey, "velloran-desktop"},
                           {kBCNBundleIDKey, kBenchmarkBundleID}});
  platform::Bundle::resetMainForTesting();
  platform::PreferencesDomain::resetForTesting();
}

FreshSdk::FreshSdk() {
  // Every context stays alive to the process's end, as the application's one context does: work an
  // earlier run left on the SDK's queues (timers, network answers) must not meet a destroyed engine.
  static auto* const everyContext = new std::vector<std::shared_ptr<AnalyticsContext>>();
  BCNApp::resetApps();
  BCNOptions::resetDefaultOptions();
  // The keychain is chosen once per process, under the user of the time: a new user needs its own.
  platform::setSharedKeychain(nullptr);
  everyContext->push_back(std::make_shared<AnalyticsContext>());
  scope_ = std::make_unique<AnalyticsContext::Scope>(everyContext->back());
}

FreshSdk::~FreshSdk() {
  BCNApp::resetApps();
}

}  // namespace beacon::bench
