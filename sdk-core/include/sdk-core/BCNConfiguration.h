#pragma once
// The process-wide SDK configuration: the analytics switch carrier handed to the analytics engine at
// start, and the logger level.
//
// Threads: any thread.

#include <memory>
#include <mutex>

#include "sdk-core/BCNAnalyticsConfiguration.h"

namespace beacon {

class BCNConfiguration {
 public:
  // The one process-wide instance.
  static BCNConfiguration& shared();

  BCNConfiguration(const BCNConfiguration&) = delete;
  BCNConfiguration& operator=(const BCNConfiguration&) = delete;

  // BCNAnalyticsConfiguration::shared() unless replaced.
  std::shared_ptr<BCNAnalyticsConfiguration> analyticsConfiguration() const;
  void setAnalyticsConfiguration(std::shared_ptr<BCNAnalyticsConfiguration> configuration);

  // A level outside 3..7 is a programmer error: throws ProgrammerError
  // (kBCNInternalInconsistencyException, "Invalid logger level, <level>").
  void setLoggerLevel(long level);

 private:
  BCNConfiguration();

  mutable std::mutex mutex_;
  std::shared_ptr<BCNAnalyticsConfiguration> analyticsConfiguration_;
};

}  // namespace beacon
