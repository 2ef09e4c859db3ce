#include "sdk-utilities/logger/CVULogger.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/dispatch/Queue.h"
#include "platform/syslog/SystemLogClient.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

using platform::SystemLogClient;

// The process-wide logger. Settings are atomics or guarded, because any thread reads them to
// decide whether a message is written; the client is touched only from the logging queue.
struct LoggerState {
  LoggerState() { client.setFilterMask(SystemLogClient::maskUpTo(kCVULoggerLevelNotice)); }

  std::string version() {
    std::lock_guard lock(versionMutex);
    return versionPrefix;
  }

  SystemLogClient client{vendorLabel("utilities.logger")};
  std::atomic<int> level{kCVULoggerLevelNotice};
  std::atomic<bool> forcedDebug{false};
  std::mutex versionMutex;
  std::string versionPrefix;
  const platform::QueueRef queue = platform::makeSerialQueue(
      "CVULoggingClientQueue", platform::globalQueue(platform::QualityOfService::Background));
};

// Made on first use and never destroyed: writes may still be queued while the process exits.
LoggerState& logger() {
  static LoggerState* const state = new LoggerState;
  return *state;
}

bool isValidLevel(int level) {
  return level >= kCVULoggerLevelError && level <= kCVULoggerLevelDebug;
}

// Writes a line that passed the logger's own check. A forced line must come out even when the
// client's mask, which follows the current level, would hold it back, so the mask is opened for its
// level for just this line; the queue runs nothing else meanwhile.
void writeLine(int level, const std::string& line, bool forced) {
  SystemLogClient& client = logger().client;
  const int mask = client.filterMask();
  const int levelBit = 1 << std::clamp(level, 0, SystemLogClient::kHighestLevel);
  if (!forced || (mask & levelBit) != 0) {
    client.write(level, line);
    return;
  }
  client.setFilterMask(mask | levelBit);
  client.write(level, line);
  client.setFilterMask(mask);
}

}  // namespace

void CVULoggerInitialize() {
  logger();
}

void CVULoggerEnableStandardError() {
  logger().queue->async([] { logger().client.addDescriptor(STDERR_FILENO); });
}

void CVULoggerForceDebug() {
  CVULoggerInitialize();
  if (CVUAppEnvironmentUtil::isFromAppStore()) return;
  logger().forcedDebug.store(true);
  CVULoggerSetLevel(kCVULoggerLevelDebug);
}

void CVULoggerSetLevel(int level) {
  if (!isValidLevel(level)) {
    CVULoggerLogError("[CVULogger]", false, "I-COR000023", "Invalid logger level, %ld", level);
    return;
  }
  LoggerState& state = logger();
  if (level >= kCVULoggerLevelNotice && CVUAppEnvironmentUtil::isFromAppStore()) return;
  state.level.store(level);
  // The block reads the level when it runs, so after racing changes the mask ends up matching the
  // level that was stored last.
  state.queue->async([] { logger().client.setFilterMask(SystemLogClient::maskUpTo(logger().level.load())); });
}

int CVULoggerGetLevel() {
  return logger().level.load();
}

bool CVULoggerIsLoggable(int level) {
  const LoggerState& state = logger();
  return state.forcedDebug.load() || level <= state.level.load();
}

void CVULoggerSetVersion(std::string version) {
  LoggerState& state = logger();
  std::lock_guard lock(state.versionMutex);
  state.versionPrefix = std::move(version);
}

void CVULoggerLogMessage(int level, std::string_view service, bool forced, std::string_view code,
                         std::string_view format, std::span<const platform::FormatArgument> arguments) {
  LoggerState& state = logger();
  const bool forcedThrough = forced || state.forcedDebug.load();
  if (!forcedThrough && level > state.level.load()) return;

  const std::string text = platform::formatArguments(format, arguments);
  std::string line = platform::format("%@ - %@[%@] %@", state.version(), service, code, text);
  state.queue->async(
      [level, line = std::move(line), forcedThrough] { writeLine(level, line, forcedThrough); });
}

void CVULoggerFlush() {
  logger().queue->sync([] {});
}

}  // namespace beacon
