#pragma once
// What the SDK benchmarks set up before they measure: an application bundle with the SDK's options
// file in a temporary user's home, every SDK service sent to a loopback origin, and the SDK started
// over afresh for each run, as a new process would have it. Setup only, never what is measured.

#include <memory>
#include <string>

#include "measurement/runtime/AnalyticsContext.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon::bench {

inline constexpr const char* kBenchmarkAppID = "1:804215367190:ios:5c3e9a71f20b4d68";
inline constexpr const char* kBenchmarkBundleID = "com.velloran.benchmark";

// Writes the bundle's Info.plist and "BeaconService-Info.plist" into `user`'s bundle folder, sends
// every SDK service to `serviceOrigin` ("http://127.0.0.1:<port>") and has the main bundle looked up
// afresh.
void installSdkOptions(platform::testing::TemporaryUser& user, const std::string& serviceOrigin);

// The SDK of one run, as a new process finds it: no apps, no default options, the keychain chosen
// afresh, and a new analytics context that is the current one while the object lives (and is kept to
// the process's end). When the object goes the run's apps are let go of, which waits for their
// components' work under way: declared after the run's temporary user, nothing of the run then writes
// into the user's folders once they are removed.
class FreshSdk {
 public:
  FreshSdk();
  ~FreshSdk();
  FreshSdk(const FreshSdk&) = delete;
  FreshSdk& operator=(const FreshSdk&) = delete;

 private:
  std::unique_ptr<AnalyticsContext::Scope> scope_;
};

}  // namespace beacon::bench
