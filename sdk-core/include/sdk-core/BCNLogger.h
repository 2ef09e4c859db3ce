#pragma once
// The SDK core's logging front. The app registry, options, component container and installations
// client log through here; the first call sets the process-wide utilities logger (CVULogger.h) up
// from the launch arguments and the persisted debug switch, then every message goes on to it.
//
// Set-up, once per process, on the first message or level change:
//  - the version prefix becomes the SDK version, so lines read
//      12.4.0 - [BeaconCore][I-COR000001] Configuring the default app.
//  - "-BCNDebugDisabled" among the launch arguments removes the persisted debug switch
//    ("/corvane/beacon/debug_mode" in the application's preferences) and leaves forced debug off;
//  - otherwise "-BCNDebugEnabled", or the switch persisted by an earlier launch, stores the switch
//    and forces debug output (outside store builds), so it stays on for later launches until one is
//    started with "-BCNDebugDisabled";
//  - "-BCNLoggerForceSTDERR" makes standard error a further destination of every line. Nothing else
//    sends lines to standard error: the system's version is no guide to whether the system log
//    reaches a console on this platform.
//
// Threads: any thread may log. Messages above the current level are dropped on the caller's thread
// before their text is formatted; writing happens later on the logging queue.

#include <span>
#include <string_view>

#include "platform/text/Format.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {

// The core's service tag.
inline constexpr std::string_view kBCNLoggerCore = "[BeaconCore]";

inline constexpr const char* kBCNDebugModeKey = "/corvane/beacon/debug_mode";
inline constexpr const char* kBCNDebugEnabledArgument = "-BCNDebugEnabled";
inline constexpr const char* kBCNDebugDisabledArgument = "-BCNDebugDisabled";
inline constexpr const char* kBCNLoggerForceStandardErrorArgument = "-BCNLoggerForceSTDERR";

// The set-up described above; runs once, every function here runs it first.
void BCNLoggerInitialize();

// Hands the message on to the utilities logger, never forced. Without arguments the format is the
// finished text.
void BCNLoggerLogMessage(int level, std::string_view service, std::string_view code, std::string_view format,
                         std::span<const platform::FormatArgument> arguments = {});

// Sets the utilities logger's level (after the set-up, so a level chosen by the program is not
// overridden by it). Invalid levels are refused there with "I-COR000023".
void BCNLoggerSetLevel(int level);

// A message with its format arguments; the level is checked before anything is formatted.
template <class... Arguments>
void BCNLoggerLogFormat(int level, std::string_view service, std::string_view code, std::string_view format,
                        const Arguments&... arguments) {
  BCNLoggerInitialize();
  CVULoggerLogFormat(level, service, false, code, format, arguments...);
}

template <class... Arguments>
void BCNLoggerLogError(std::string_view service, std::string_view code, std::string_view format,
                       const Arguments&... arguments) {
  BCNLoggerLogFormat(kCVULoggerLevelError, service, code, format, arguments...);
}

template <class... Arguments>
void BCNLoggerLogWarning(std::string_view service, std::string_view code, std::string_view format,
                         const Arguments&... arguments) {
  BCNLoggerLogFormat(kCVULoggerLevelWarning, service, code, format, arguments...);
}

template <class... Arguments>
void BCNLoggerLogNotice(std::string_view service, std::string_view code, std::string_view format,
                        const Arguments&... arguments) {
  BCNLoggerLogFormat(kCVULoggerLevelNotice, service, code, format, arguments...);
}

template <class... Arguments>
void BCNLoggerLogInfo(std::string_view service, std::string_view code, std::string_view format,
                      const Arguments&... arguments) {
  BCNLoggerLogFormat(kCVULoggerLevelInfo, service, code, format, arguments...);
}

template <class... Arguments>
void BCNLoggerLogDebug(std::string_view service, std::string_view code, std::string_view format,
                       const Arguments&... arguments) {
  BCNLoggerLogFormat(kCVULoggerLevelDebug, service, code, format, arguments...);
}

// Class-method entries to BCNLoggerLogMessage for callers that hold a ready argument list, or none.
class BCNLoggerWrapper {
 public:
  BCNLoggerWrapper() = delete;

  static void logWithLevel(int level, std::string_view service, std::string_view code,
                           std::string_view message, std::span<const platform::FormatArgument> arguments);
  // Without arguments the message is written as it is, "%" signs included.
  static void logWithLevel(int level, std::string_view service, std::string_view code,
                           std::string_view message);
};

}  // namespace beacon
