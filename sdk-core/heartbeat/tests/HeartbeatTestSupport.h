#pragma once
// A temporary user and main bundle for one test, so heartbeat files land in a fresh Application
// Support folder: <data home>/<bundle identifier>/corvane-heartbeat-storage/.

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bundle/Bundle.h"
#include "platform/paths/tests/TestEnvironment.h"
#include "sdk-core/heartbeat/FileStorage.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.heartbeat-tests";

class TemporaryApplication {
 public:
  TemporaryApplication() {
    std::ofstream(user_.bundle() / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>" << kTestBundleIdentifier << "</string></dict></plist>\n";
    platform::Bundle::resetMainForTesting();
  }
  ~TemporaryApplication() { platform::Bundle::resetMainForTesting(); }

  std::filesystem::path heartbeatFile(const std::string& id) const {
    return user_.dataHome() / kTestBundleIdentifier / "corvane-heartbeat-storage" / FileStorage::fileName(id);
  }

  std::string contents(const std::string& id) const {
    std::ifstream in(heartbeatFile(id), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
