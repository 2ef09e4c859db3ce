#pragma once
// The measurement engine's logger. Every engine component logs through the one monitor with a level
// (0-8 and above) and a numeric message code. The monitor prints what the SDK logger's level lets
// through (via BMSASLLogger), keeps a privacy-reduced sample of the monitorable messages for the
// upload path, and owns the debug-mode and verbose-logging switches.
//
// Levels: 0-2 "ERROR", 3-5 "WARNING", 6 "NOTICE", 7 "DEBUG", 8 and above undescribed. Levels 2, 5
// and above 8 are silent (never printed); 1, 2, 4, 5 and above 8 are monitorable (sampled). Level 8
// and above are dropped entirely unless verbose logging is on.
//
// Threads: log from any thread. The level tests run on the caller's thread before any text is built;
// console output, sample updates, loading and migration run in order on the serial queue
// "BMSMonitorQueue"; dispatch and clearing run synchronously on it. A sample update is saved at once
// unless another is queued behind it, which saves instead. Queue blocks hold the monitor
// weakly.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/engine/BMSASLLogger.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSMonitoringSampledData.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "platform/dispatch/Queue.h"
#include "platform/time/Clock.h"
#include "platform/value/Value.h"

namespace beacon {

inline constexpr std::string_view kBMSDebugModeKey = "/corvane/measurement/debug_mode";
inline constexpr std::string_view kBMSVerboseLoggingKey = "/corvane/measurement/verbose_logging";
inline constexpr std::string_view kBMSHealthMonitorKey = "/corvane/measurement/health_monitor";
inline constexpr std::string_view kBMSMonitorMigrationStateKey =
    "/corvane/measurement/monitor_migration_state";

// What the monitor reads and writes outside itself; standard() gives the process's own.
struct BMSMonitorEnvironment {
  std::shared_ptr<BMSUserDefaults> sharedDefaults;
  // The monitor's own suite: the vendor prefix + "cnp.measurement.monitor".
  std::shared_ptr<BMSUserDefaults> monitorDefaults;
  std::shared_ptr<const platform::Clock> clock;
  BMSMonitoringSampledData::RandomBelow randomBelow;
  // Launch arguments, program name first.
  std::vector<std::string> arguments;
  // Whether this is a store build, where the switches cannot be turned on.
  bool isAppStoreBuild = false;
  // Whether a class named "BCNConfiguration" is linked in.
  bool hasCoreConfiguration = false;

  static BMSMonitorEnvironment standard();
};

class BMSMonitor : public BMSLogSink, public std::enable_shared_from_this<BMSMonitor> {
 public:
  static std::shared_ptr<BMSMonitor> initWithLibraryVersion(
      std::int64_t libraryVersion, BMSMonitorEnvironment environment = BMSMonitorEnvironment::standard());
  static std::shared_ptr<BMSMonitor> initWithLogLevel(std::int64_t logLevel, BMSASLLogger logger,
                                                      std::int64_t libraryVersion,
                                                      BMSMonitorEnvironment environment);

  // --- logging (BMSLogSink)
  void logWithLevel(std::int64_t level, std::int64_t messageCode, const std::string& message,
                    const std::vector<platform::Value>& contexts) override;
  bool keepsLevel(std::int64_t level) const override;

  // --- switches
  void setDebugModeEnabled(bool enabled);
  void setVerboseLoggingEnabled(bool enabled);
  bool isDebugModeEnabled() const { return debugModeEnabled_; }
  bool isVerboseLoggingEnabled() const { return verboseLoggingEnabled_; }
  std::int64_t logLevel() const { return logLevel_; }
  void setLogLevel(std::int64_t level) { logLevel_ = level; }
  bool encodeContexts() const { return encodeContexts_; }
  void setEncodeContexts(bool encode) { encodeContexts_ = encode; }
  bool deferToBCNLogger() const { return deferToBCNLogger_; }
  std::string logTag() const;
  void setLogTag(std::string tag);

  // --- sample
  // The sample text for an outgoing bundle, or nothing; see BMSMonitoringSampledData. Waits for the
  // monitor queue.
  std::optional<std::string> monitoringDataForDispatchWithSamplePeriod(double samplePeriodSeconds,
                                                                       double lastSampledTimestampSince1970);
  // Forgets the stored debug flag and every stored sample. Waits for the monitor queue.
  void clearMonitoringData();
  // The current sample entry (for tests and diagnostics). Waits for the monitor queue.
  std::optional<platform::Array> sampledData();
  const platform::QueueRef& monitorQueue() const { return monitorQueue_; }

  // --- texts
  static std::string stringWithLogMessage(const std::optional<std::string>& message, std::int64_t logLevel,
                                          const std::vector<platform::Value>& contexts, bool encodeContexts);
  static std::string encodedStringWithContextArray(const std::vector<platform::Value>& contexts,
                                                   bool insertSpaces);
  static std::string encodedStringWithContextObject(const platform::Value& context);
  // The engine symbol of an exception context; exceptions here carry no call stack, so it is the
  // exception's name. Empty for anything that is not an exception.
  static std::optional<std::string> lastBMSSymbolFromException(const platform::Value& exception);
  static std::string monitoringDataKeyWithMessage(const std::string& message, std::int64_t logLevel,
                                                  std::int64_t libraryVersion);
  static bool isSilentLevel(std::int64_t level);
  static bool isMonitorableLevel(std::int64_t level);
  static std::optional<std::string> logLevelDescriptionFromLogLevel(std::int64_t level);

 private:
  BMSMonitor(std::int64_t logLevel, BMSASLLogger logger, std::int64_t libraryVersion,
             BMSMonitorEnvironment environment);
  // Printed, as far as the SDK logger's level goes.
  static bool isLoggableLevel(std::int64_t level);
  void start();
  void readSwitches();
  void migrateAndLoadOnQueue();
  void saveOnQueue();
  void setSDKLoggerLevel(int level) const;
  template <class Work>
  void onQueue(Work work);

  std::atomic<std::int64_t> logLevel_;
  const BMSASLLogger logger_;
  const std::int64_t libraryVersion_;
  const BMSMonitorEnvironment environment_;
  const platform::QueueRef monitorQueue_;
  BMSMonitoringSampledData sampledData_;  // monitor queue only
  // Sample updates queued and not yet run. Only the last of a burst saves: each save writes the
  // preference file through to disk, and the state an earlier one would save is already superseded.
  std::atomic<std::int64_t> queuedSampleUpdates_{0};

  std::atomic<bool> deferToBCNLogger_{false};
  std::atomic<bool> debugModeEnabled_{false};
  std::atomic<bool> verboseLoggingEnabled_{false};
  std::atomic<bool> encodeContexts_{false};
  mutable std::mutex tagMutex_;
  std::string logTag_ = "<BeaconMeasurement>";
};

}  // namespace beacon
