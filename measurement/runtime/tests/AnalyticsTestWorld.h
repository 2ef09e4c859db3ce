#pragma once
// A fresh analytics world for one test: a deterministic dispatch backend over a manual clock, and an
// AnalyticsContext over that clock, its own class directory and notification centre and the test's
// reachability table (FakeReachability: offline until the test pushes flags), installed as the
// current one for the test's duration. The engine's log lines go to a capture for as long, and its
// configuration runs the editing runtime the test puts in place.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "platform/app/Application.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/ManualClock.h"
#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon::testing {

// The app ID the tests start analytics under.
inline constexpr const char* kTestAppID = "1:123456789012:ios:0123456789abcdef0123456789abcdef";

// Keeps every log line's level, code and message.
class LogCapture : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t level, std::int64_t code, const std::string& message,
                    const std::vector<platform::Value>& contexts) override {
    std::lock_guard lock(mutex_);
    lines_.push_back({level, code, message, contexts});
  }
  std::vector<std::int64_t> codes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::int64_t> codes;
    for (const LoggedLine& line : lines_) codes.push_back(line.code);
    return codes;
  }
  bool contains(std::int64_t code) const {
    const std::vector<std::int64_t> all = codes();
    return std::find(all.begin(), all.end(), code) != all.end();
  }
  std::int64_t levelOf(std::int64_t code) const {
    std::lock_guard lock(mutex_);
    for (const LoggedLine& line : lines_) {
      if (line.code == code) return line.level;
    }
    return -1;
  }
  std::vector<std::string> messagesOf(std::int64_t code) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> messages;
    for (const LoggedLine& line : lines_) {
      if (line.code == code) messages.push_back(line.message);
    }
    return messages;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<LoggedLine> lines_;
};

// What lives outside the context and would carry one test's analytics into the next test of the
// same process: the main bundle and preference domains (read afresh from the test's home), the
// consent in force, and the app-delegate proxy with its interceptors.
inline void forgetProcessWideState() {
  platform::testing::TestApplication::restart();
  BMSConsentSettingsUtil::clearAllSettings();
  CVUAppDelegateSwizzler::clearInterceptors();
  CVUAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
  platform::Application::shared().setDelegate(nullptr);
}

class AnalyticsTestWorld {
 public:
  AnalyticsTestWorld() {
    forgetProcessWideState();
    BMSEngineServices::setLogSink(log_);
  }
  ~AnalyticsTestWorld() {
    BMSEngineServices::setLogSink(nullptr);
    forgetProcessWideState();
  }
  AnalyticsTestWorld(const AnalyticsTestWorld&) = delete;
  AnalyticsTestWorld& operator=(const AnalyticsTestWorld&) = delete;

  const LogCapture& log() const { return *log_; }

  platform::DeterministicDispatch& dispatch() { return dispatch_; }
  platform::ManualClock& clock() { return *clock_; }
  platform::ClassDirectory& classes() { return classes_; }
  platform::NotificationCenter& notifications() { return notifications_; }
  AnalyticsContext& context() { return scope_.context(); }

  // What the engine's configuration runs for any event-editing program it receives.
  std::shared_ptr<BMSEventEditingRuntime> editingRuntime;

 private:
  std::shared_ptr<LogCapture> log_ = std::make_shared<LogCapture>();
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch_{clock_};
  platform::ClassDirectory classes_;
  platform::NotificationCenter notifications_;
  AnalyticsContext::Scope scope_{std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{clock_, &classes_, &notifications_, nullptr, false, &FakeReachability::api(),
                                 [this](const platform::Bytes&) { return editingRuntime; }})};
};

}  // namespace beacon::testing
