#pragma once
// Test support for the SDK core: a fresh user (home, data and configuration folders) and main bundle
// per test, with the Info.plist and "BeaconService-Info.plist" the test asks for; a capture of the
// SDK's log lines; and a recorder of notifications.
//
// Every test runs in its own process, so the SDK's once-per-process state starts fresh each time.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/syslog/SystemLogCapture.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.beacon-core-tests";
inline constexpr const char* kValidAppID = "1:123456789012:ios:0123456789abcdef0123456789abcdef";

// The configuration file of a well-set-up application.
inline platform::Dictionary validServiceInfo() {
  return {{kBCNCorvaneAppIDKey, kValidAppID},
          {kBCNCCMSenderIDKey, "123456789012"},
          {kBCNAPIKeyKey, "test-api-key"},
          {kBCNProjectIDKey, "velloran-test"},
          {kBCNBundleIDKey, kTestBundleIdentifier}};
}

class TemporaryApplication {
 public:
  explicit TemporaryApplication(platform::Dictionary extraInfo = {}) { writeInfo(std::move(extraInfo)); }
  ~TemporaryApplication() {
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }

  // Replaces the Info.plist (the bundle identifier is always there).
  void writeInfo(platform::Dictionary info) {
    info.emplace("CFBundleIdentifier", kTestBundleIdentifier);
    user_.writeInfo(info);
    platform::Bundle::resetMainForTesting();
  }

  void writeServiceInfo(const platform::Value& contents) {
    platform::testing::writePropertyListFile(serviceInfoPath(), contents);
    BCNOptions::resetDefaultOptions();
  }

  std::filesystem::path serviceInfoPath() const { return user_.bundle() / "BeaconService-Info.plist"; }
  platform::testing::TemporaryUser& user() { return user_; }

  // The application's preferences as a later launch reads them from disk.
  std::optional<platform::Value> persistedPreference(const std::string& key) {
    platform::PreferencesDomain::resetForTesting();
    return platform::PreferencesDomain::application()->objectForKey(key);
  }

 private:
  platform::testing::TemporaryUser user_;
};

// The SDK's log lines, as the system log would have received them.
class LogLines {
 public:
  // Every line written so far, after the logging queue has caught up.
  std::vector<platform::CapturedLogLine> all() const {
    CVULoggerFlush();
    return capture_.lines();
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& line : all()) result.push_back(line.text);
    return result;
  }

  // Lines that carry `code`.
  std::vector<platform::CapturedLogLine> withCode(const std::string& code) const {
    std::vector<platform::CapturedLogLine> result;
    for (const auto& line : all()) {
      if (line.text.find("[" + code + "]") != std::string::npos) result.push_back(line);
    }
    return result;
  }

 private:
  platform::SystemLogCapture capture_;
};

// Records every post of one notification name.
class NotificationRecorder {
 public:
  explicit NotificationRecorder(const std::string& name)
      : token_(platform::NotificationCenter::defaultCenter().addObserver(
            name, nullptr, nullptr, [this](const platform::Notification& notification) {
              std::lock_guard lock(mutex_);
              received_.push_back(notification);
            })) {}

  std::vector<platform::Notification> received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<platform::Notification> received_;
  platform::ObserverToken token_;
};

// The exception a call throws, or a failure when it throws none.
template <class Call>
platform::ProgrammerError thrownBy(Call&& call) {
  try {
    call();
  } catch (const platform::ProgrammerError& error) {
    return error;
  }
  ADD_FAILURE() << "expected a ProgrammerError";
  return platform::ProgrammerError("none", "");
}

}  // namespace beacon::testing
