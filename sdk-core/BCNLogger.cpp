#include "sdk-core/BCNLogger.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/prefs/PreferencesDomain.h"
#include "platform/process/ProcessInfo.h"
#include "sdk-core/BCNSDKVersion.h"

namespace beacon {
namespace {

bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

void setUpFromLaunch() {
  CVULoggerSetVersion(BCNSDKVersion());

  const std::vector<std::string> arguments = platform::ProcessInfo::arguments();
  const bool wantsStandardError = hasArgument(arguments, kBCNLoggerForceStandardErrorArgument);
  // The preferences layer never logs through here, so reading it cannot re-enter this set-up.
  const std::shared_ptr<platform::PreferencesDomain> defaults = platform::PreferencesDomain::application();
  const bool debugPersisted = defaults->boolForKey(kBCNDebugModeKey);

  bool forceDebug = false;
  if (hasArgument(arguments, kBCNDebugDisabledArgument)) {
    defaults->removeObject(kBCNDebugModeKey);
  } else if (hasArgument(arguments, kBCNDebugEnabledArgument) || debugPersisted) {
    // A refused write leaves the switch for this launch only; the logger has nowhere to report it.
    (void)defaults->setObject(kBCNDebugModeKey, true);
    forceDebug = true;
  }

  CVULoggerInitialize();
  if (wantsStandardError) CVULoggerEnableStandardError();
  if (forceDebug) CVULoggerForceDebug();
}

}  // namespace

void BCNLoggerInitialize() {
  static std::once_flag once;
  std::call_once(once, setUpFromLaunch);
}

void BCNLoggerLogMessage(int level, std::string_view service, std::string_view code, std::string_view format,
                         std::span<const platform::FormatArgument> arguments) {
  BCNLoggerInitialize();
  CVULoggerLogMessage(level, service, false, code, format, arguments);
}

void BCNLoggerSetLevel(int level) {
  BCNLoggerInitialize();
  CVULoggerSetLevel(level);
}

void BCNLoggerWrapper::logWithLevel(int level, std::string_view service, std::string_view code,
                                    std::string_view message,
                                    std::span<const platform::FormatArgument> arguments) {
  BCNLoggerLogMessage(level, service, code, message, arguments);
}

void BCNLoggerWrapper::logWithLevel(int level, std::string_view service, std::string_view code,
                                    std::string_view message) {
  BCNLoggerLogMessage(level, service, code, message);
}

}  // namespace beacon
