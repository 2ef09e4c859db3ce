#include "sdk-core/BCNConfiguration.h"

#include "platform/error/Error.h"
#include "platform/text/Format.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/CoreError.h"

namespace beacon {

BCNConfiguration& BCNConfiguration::shared() {
  static BCNConfiguration* const instance = new BCNConfiguration;
  return *instance;
}

BCNConfiguration::BCNConfiguration() : analyticsConfiguration_(BCNAnalyticsConfiguration::shared()) {}

std::shared_ptr<BCNAnalyticsConfiguration> BCNConfiguration::analyticsConfiguration() const {
  std::lock_guard lock(mutex_);
  return analyticsConfiguration_;
}

void BCNConfiguration::setAnalyticsConfiguration(std::shared_ptr<BCNAnalyticsConfiguration> configuration) {
  std::lock_guard lock(mutex_);
  analyticsConfiguration_ = std::move(configuration);
}

void BCNConfiguration::setLoggerLevel(long level) {
  if (level < kCVULoggerLevelError || level > kCVULoggerLevelDebug) {
    throw platform::ProgrammerError(std::string(kBCNInternalInconsistencyException),
                                    platform::format("Invalid logger level, %ld", level));
  }
  BCNLoggerSetLevel(static_cast<int>(level));
}

}  // namespace beacon
