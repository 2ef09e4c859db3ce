#pragma once
// Captures the system-log lines of a logger test. Each test runs in its own process, so the logger's
// once-made state starts fresh for every test; the test still pins the store-build answer so it does
// not depend on how the build was configured.

#include <gtest/gtest.h>

#include <vector>

#include "platform/syslog/SystemLogCapture.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon::testing {

class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() { CVUAppEnvironmentUtil::setFromAppStoreForTesting(false); }
  ~LoggerTest() override { CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt); }

  // Every line written so far, after waiting for the logging queue.
  std::vector<platform::CapturedLogLine> writtenLines() {
    CVULoggerFlush();
    return capture_.lines();
  }

  static platform::CapturedLogLine line(int level, std::string text) {
    return platform::CapturedLogLine{level, std::move(text), true};
  }

  platform::SystemLogCapture capture_;
};

}  // namespace beacon::testing
