#pragma once
// A temporary user (home, data and configuration roots) with a main bundle whose Info.plist the test
// chooses, and a fresh view of both for the test: the main bundle and the preference domains are
// looked up again.

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.sdkutilities";

class TestBundle {
 public:
  explicit TestBundle(platform::Dictionary info = {{"CFBundleIdentifier", kTestBundleIdentifier}}) {
    writeInfo(std::move(info));
  }
  ~TestBundle() { forgetCachedState(); }

  void writeInfo(const platform::Dictionary& info) {
    user_.writeInfo(info);
    forgetCachedState();
  }

  void writeFile(const std::filesystem::path& relative, const std::string& contents) {
    std::filesystem::create_directories((bundle() / relative).parent_path());
    std::ofstream(bundle() / relative, std::ios::binary) << contents;
  }

  // What a restart of the program would read afresh.
  static void forgetCachedState() {
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }

  std::filesystem::path bundle() const { return user_.bundle(); }
  std::filesystem::path configHome() const { return user_.configHome(); }

 private:
  platform::testing::TemporaryUser user_;
};

}  // namespace beacon::testing
