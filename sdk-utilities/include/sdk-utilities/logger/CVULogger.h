#pragma once
// The SDK's process-wide logger: the layer that owns the level, the forced-debug flag, the version
// prefix, the system-log client and the logging queue, and writes every line. The measurement
// engine, the HTTP client and the utilities log here directly; the SDK core's logging front sets
// this layer up from the launch arguments and then hands its messages on to it.
//
// A line reads "<version> - <service>[<code>] <text>", for example
//   12.4.0 - [BeaconCore][I-COR000001] Configuring the default app.
// The service tag carries its own brackets. Until someone sets the version prefix it is empty, so
// lines begin with " - ".
//
// Levels use the system log's numbering: 3 error, 4 warning, 5 notice (the default), 6 info,
// 7 debug. A message is written when its level is at most the current level, when it is forced, or
// while the forced-debug flag is set. A store build (CVUAppEnvironmentUtil::isFromAppStore) refuses
// levels 5 and above and cannot force debug, so it writes notice lines but no info or debug lines
// unless a message is forced.
//
// Standard error receives the lines only after CVULoggerEnableStandardError.
//
// Threads. Any thread may log and change the settings; the level, the flag and the version prefix
// are safe to read and write from any thread. The level check happens on the caller's thread, before
// anything is formatted. Writes and filter changes run in order on the serial queue
// "CVULoggingClientQueue" (background priority), so the lines of one thread keep their order and
// logging never blocks the caller. The state is made on first use, with the dispatch backend in force
// then, and lives until the process ends.

#include <span>
#include <string>
#include <string_view>

#include "platform/text/Format.h"

namespace beacon {

inline constexpr int kCVULoggerLevelError = 3;
inline constexpr int kCVULoggerLevelWarning = 4;
inline constexpr int kCVULoggerLevelNotice = 5;
inline constexpr int kCVULoggerLevelInfo = 6;
inline constexpr int kCVULoggerLevelDebug = 7;

// Sets the logger up: opens the system-log client at level notice and makes the logging queue.
// Runs once; every other function here runs it first, so calling it is never required.
void CVULoggerInitialize();

// Makes standard error a further destination of every line logged after this call.
void CVULoggerEnableStandardError();

// Outside store builds: sets the forced-debug flag and the level 7. In store builds: nothing.
void CVULoggerForceDebug();

// A level outside 3..7 is refused with the error line "I-COR000023" and changes nothing. A store
// build ignores levels of 5 and above.
void CVULoggerSetLevel(int level);
int CVULoggerGetLevel();

// Whether a message of `level` would be written (forced messages always are).
bool CVULoggerIsLoggable(int level);

// The first field of every line.
void CVULoggerSetVersion(std::string version);

// The single sink. The text is `format` filled with `arguments` by platform::formatArguments; with
// no arguments the format is written as it is, so a finished text is passed as the format without
// escaping any "%". Dropped, unless forced, when `level` is above the current level.
void CVULoggerLogMessage(int level, std::string_view service, bool forced, std::string_view code,
                         std::string_view format, std::span<const platform::FormatArgument> arguments = {});

// The sink for a format and its arguments: checks the level before anything is formatted.
template <class... Arguments>
void CVULoggerLogFormat(int level, std::string_view service, bool forced, std::string_view code,
                        std::string_view format, const Arguments&... arguments) {
  if (!forced && !CVULoggerIsLoggable(level)) return;
  if constexpr (sizeof...(Arguments) == 0) {
    CVULoggerLogMessage(level, service, forced, code, format);
  } else {
    const platform::FormatArgument captured[] = {platform::FormatArgument(arguments)...};
    CVULoggerLogMessage(level, service, forced, code, format, captured);
  }
}

template <class... Arguments>
void CVULoggerLogError(std::string_view service, bool forced, std::string_view code, std::string_view format,
                       const Arguments&... arguments) {
  CVULoggerLogFormat(kCVULoggerLevelError, service, forced, code, format, arguments...);
}

template <class... Arguments>
void CVULoggerLogWarning(std::string_view service, bool forced, std::string_view code,
                         std::string_view format, const Arguments&... arguments) {
  CVULoggerLogFormat(kCVULoggerLevelWarning, service, forced, code, format, arguments...);
}

template <class... Arguments>
void CVULoggerLogNotice(std::string_view service, bool forced, std::string_view code, std::string_view format,
                        const Arguments&... arguments) {
  CVULoggerLogFormat(kCVULoggerLevelNotice, service, forced, code, format, arguments...);
}

template <class... Arguments>
void CVULoggerLogInfo(std::string_view service, bool forced, std::string_view code, std::string_view format,
                      const Arguments&... arguments) {
  CVULoggerLogFormat(kCVULoggerLevelInfo, service, forced, code, format, arguments...);
}

template <class... Arguments>
void CVULoggerLogDebug(std::string_view service, bool forced, std::string_view code, std::string_view format,
                       const Arguments&... arguments) {
  CVULoggerLogFormat(kCVULoggerLevelDebug, service, forced, code, format, arguments...);
}

// Returns once every line logged and every setting changed before the call has been carried out.
// For tests and for an orderly end of the program; never call it from a block of the logging queue.
void CVULoggerFlush();

}  // namespace beacon
