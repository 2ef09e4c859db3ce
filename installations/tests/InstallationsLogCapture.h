#pragma once
// The SDK log lines a test writes, read after the logging queue has caught up. The store-build
// answer is pinned so the lines do not depend on how the build was configured.

#include <gtest/gtest.h>

#include <vector>

#include "platform/syslog/SystemLogCapture.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon::testing {

class InstallationsLogCapture {
 public:
  InstallationsLogCapture() { CVUAppEnvironmentUtil::setFromAppStoreForTesting(false); }
  ~InstallationsLogCapture() { CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt); }

  std::vector<platform::CapturedLogLine> lines() {
    CVULoggerFlush();
    return capture_.lines();
  }

 private:
  // Lines an earlier test left on the logging queue are written out before the capture begins.
  [[maybe_unused]] bool earlierLinesFlushed_ = (CVULoggerFlush(), true);
  platform::SystemLogCapture capture_;
};

}  // namespace beacon::testing
