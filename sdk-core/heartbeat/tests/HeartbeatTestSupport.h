#pragma once
// A temporary user and main bundle for one test, so heartbeat files land in a fresh Application
// Support folder: <data home>/<bundle identifier>/corvane-heartbeat-storage/. Also the app ID and
// the calendar dates the tests log heartbeats under.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bundle/Bundle.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/value/Value.h"
#include "sdk-core/heartbeat/FileStorage.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.heartbeat-tests";
inline constexpr const char* kTestAppID = "1:123:macos:abc";

// That moment of that day in UTC.
inline platform::Date utc(int year, unsigned month, unsigned dayOfMonth, int hour = 0, int minute = 0) {
  const std::chrono::sys_days day{std::chrono::year{year} / month / dayOfMonth};
  return platform::Date::fromUnixSeconds(static_cast<double>(day.time_since_epoch().count()) * 86400.0 +
                                         hour * 3600 + minute * 60);
}

class TemporaryApplication {
 public:
  TemporaryApplication() {
    user_.writeInfo({{"CFBundleIdentifier", kTestBundleIdentifier}});
    platform::Bundle::resetMainForTesting();
  }
  ~TemporaryApplication() { platform::Bundle::resetMainForTesting(); }

  std::filesystem::path heartbeatFile(const std::string& id) const {
    return user_.dataHome() / kTestBundleIdentifier / "corvane-heartbeat-storage" / FileStorage::fileName(id);
  }

  std::string contents(const std::string& id) const {
    return platform::testing::fileContents(heartbeatFile(id));
  }

  void store(const std::string& id, const std::string& text) const {
    std::filesystem::create_directories(heartbeatFile(id).parent_path());
    std::ofstream(heartbeatFile(id), std::ios::binary) << text;
  }

  platform::testing::TemporaryUser& user() { return user_; }

 private:
  platform::testing::TemporaryUser user_;
};

}  // namespace beacon::testing
