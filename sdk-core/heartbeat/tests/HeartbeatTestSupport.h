#pragma once
// A temporary user and main bundle for one test, so heartbeat files land in a fresh Application
// Support folder: <data home>/<bundle identifier>/corvane-heartbeat-storage/.

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bundle/Bundle.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-core/heartbeat/FileStorage.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.heartbeat-tests";

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
