#include "measurement/engine/BMSMonitor.h"

#include <algorithm>
#include <random>

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSError.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/process/ProcessInfo.h"
#include "platform/text/Format.h"
#include "platform/time/SystemClock.h"
#include "sdk-utilities/logger/CVULogger.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

bool hasArgument(const std::vector<std::string>& arguments, std::initializer_list<std::string_view> wanted) {
  return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& argument) {
    return std::find(wanted.begin(), wanted.end(), argument) != wanted.end();
  });
}

char levelLetter(std::int64_t level) {
  if (level >= 0 && level <= 2) return 'E';
  if (level >= 3 && level <= 5) return 'W';
  return '?';
}

// "p...(10p - 1)" for the power of ten p at or below |n|; unsigned, so the 64-bit extremes fit.
std::string numberBucket(std::int64_t number) {
  if (number >= -99 && number <= 99) return platform::format("%lld", number);
  const std::uint64_t magnitude =
      number < 0 ? static_cast<std::uint64_t>(-(number + 1)) + 1 : static_cast<std::uint64_t>(number);
  std::uint64_t power = 1;
  while (magnitude / power >= 10) power *= 10;
  const std::uint64_t top = power * 10 - 1;  // at most 9999999999999999999, still below 2^64
  if (number > 0) return std::to_string(power) + "..." + std::to_string(top);
  return "-" + std::to_string(top) + "...-" + std::to_string(power);
}

std::string plainContextText(const platform::Value& context) {
  if (context.isNull()) return "(nil)";
  if (BMSIsExceptionContext(context)) {
    const platform::Value* reason = context.find("exception.reason");
    return platform::format("%@: %@", *BMSMonitor::lastBMSSymbolFromException(context),
                            reason ? reason->description() : std::string());
  }
  return context.description();
}

}  // namespace

BMSMonitorEnvironment BMSMonitorEnvironment::standard() {
  BMSMonitorEnvironment environment;
  environment.sharedDefaults = BMSUserDefaults::sharedUserDefaults();
  environment.monitorDefaults = std::make_shared<BMSUserDefaults>(vendorLabel("cnp.measurement.monitor"));
  environment.clock = platform::SystemClock::sharedPointer();
  environment.randomBelow =
      [generator = std::make_shared<std::mt19937_64>(std::random_device()())](std::uint64_t bound) {
        return std::uniform_int_distribution<std::uint64_t>(0, bound - 1)(*generator);
      };
  environment.arguments = platform::ProcessInfo::arguments();
  environment.isAppStoreBuild = BMSAEU::isFAS();
  environment.hasCoreConfiguration = platform::ClassDirectory::shared().lookup("BCNConfiguration") != nullptr;
  return environment;
}

std::shared_ptr<BMSMonitor> BMSMonitor::initWithLibraryVersion(std::int64_t libraryVersion,
                                                               BMSMonitorEnvironment environment) {
  return initWithLogLevel(6, BMSASLLogger(), libraryVersion, std::move(environment));
}

std::shared_ptr<BMSMonitor> BMSMonitor::initWithLogLevel(std::int64_t logLevel, BMSASLLogger logger,
                                                         std::int64_t libraryVersion,
                                                         BMSMonitorEnvironment environment) {
  std::shared_ptr<BMSMonitor> monitor(
      new BMSMonitor(logLevel, logger, libraryVersion, std::move(environment)));
  monitor->start();
  return monitor;
}

BMSMonitor::BMSMonitor(std::int64_t logLevel, BMSASLLogger logger, std::int64_t libraryVersion,
                       BMSMonitorEnvironment environment)
    : logLevel_(logLevel),
      logger_(logger),
      libraryVersion_(libraryVersion),
      environment_(std::move(environment)),
      monitorQueue_(platform::makeSerialQueue(
          "BMSMonitorQueue", platform::globalQueue(platform::QualityOfService::Background))) {}

template <class Work>
void BMSMonitor::onQueue(Work work) {
  monitorQueue_->async([weakMonitor = weak_from_this(), work = std::move(work)]() mutable {
    if (const std::shared_ptr<BMSMonitor> monitor = weakMonitor.lock()) work(*monitor);
  });
}

void BMSMonitor::start() {
  onQueue([](BMSMonitor& monitor) { monitor.migrateAndLoadOnQueue(); });
  if (environment_.isAppStoreBuild) return;
  readSwitches();
}

void BMSMonitor::readSwitches() {
  const std::vector<std::string>& arguments = environment_.arguments;
  deferToBCNLogger_ =
      hasArgument(arguments, {"-BCNDebugEnabled", "-BCNDebugDisabled"}) && environment_.hasCoreConfiguration;
  if (hasArgument(arguments,
                  {"-noBMSAnalyticsDebugEnabled", "-noBCNAnalyticsDebugEnabled", "-BCNDebugDisabled"})) {
    setDebugModeEnabled(false);
  } else if (environment_.sharedDefaults->boolForKey(kBMSDebugModeKey) ||
             hasArgument(arguments,
                         {"-BMSAnalyticsDebugEnabled", "-BCNAnalyticsDebugEnabled", "-BCNDebugEnabled"})) {
    setDebugModeEnabled(true);
  }
  if (hasArgument(arguments,
                  {"-BMSAnalyticsVerboseLoggingDisabled", "-BCNAnalyticsVerboseLoggingDisabled"})) {
    setVerboseLoggingEnabled(false);
  } else if (environment_.sharedDefaults->boolForKey(kBMSVerboseLoggingKey) ||
             hasArgument(arguments,
                         {"-BMSAnalyticsVerboseLoggingEnabled", "-BCNAnalyticsVerboseLoggingEnabled"})) {
    setVerboseLoggingEnabled(true);
  }
}

void BMSMonitor::migrateAndLoadOnQueue() {
  BMSUserDefaults& shared = *environment_.sharedDefaults;
  BMSUserDefaults& suite = *environment_.monitorDefaults;
  std::int64_t state = suite.integerForKey(kBMSMonitorMigrationStateKey);
  if (state == 0) {
    if (auto legacy = shared.arrayForKey(kBMSHealthMonitorKey);
        legacy && !suite.arrayForKey(kBMSHealthMonitorKey)) {
      suite.setObject(platform::Value(*legacy), kBMSHealthMonitorKey);
    }
    suite.setInteger(1, kBMSMonitorMigrationStateKey);
    suite.synchronize();
    state = 1;
  }
  if (state == 1) {
    shared.removeObjectForKey(kBMSHealthMonitorKey);
    shared.synchronize();
    suite.setInteger(2, kBMSMonitorMigrationStateKey);
    suite.synchronize();
  }
  sampledData_ =
      BMSMonitoringSampledData(suite.arrayForKey(kBMSHealthMonitorKey).value_or(platform::Array{}));
}

void BMSMonitor::saveOnQueue() {
  BMSUserDefaults& suite = *environment_.monitorDefaults;
  const std::optional<platform::Array> entry = sampledData_.sampledData();
  suite.setObject(entry ? std::optional<platform::Value>(*entry) : std::nullopt, kBMSHealthMonitorKey);
  suite.synchronize();
}

void BMSMonitor::setSDKLoggerLevel(int level) const {
  if (!deferToBCNLogger_) CVULoggerSetLevel(level);
}

void BMSMonitor::setDebugModeEnabled(bool enabled) {
  if (enabled && !environment_.isAppStoreBuild) {
    logLevel_ = 7;
    setSDKLoggerLevel(kCVULoggerLevelDebug);
    environment_.sharedDefaults->setBool(true, kBMSDebugModeKey);
    debugModeEnabled_ = true;
    logWithLevel(7, 24000, "Debug mode is on", {});
  } else {
    logLevel_ = 6;
    setSDKLoggerLevel(kCVULoggerLevelNotice);
    environment_.sharedDefaults->removeObjectForKey(kBMSDebugModeKey);
    logWithLevel(7, 24001, "Debug mode is off", {});
    debugModeEnabled_ = false;
  }
}

void BMSMonitor::setVerboseLoggingEnabled(bool enabled) {
  if (enabled && !environment_.isAppStoreBuild) {
    logLevel_ = 8;
    setSDKLoggerLevel(kCVULoggerLevelDebug);
    environment_.sharedDefaults->setBool(true, kBMSVerboseLoggingKey);
    verboseLoggingEnabled_ = true;
    logWithLevel(8, 24003, "Verbose logging is on", {});
  } else {
    const std::int64_t level = debugModeEnabled_ ? 7 : 6;
    logLevel_ = level;
    setSDKLoggerLevel(BMSASLLogger::CVULoggerLevelFromLogLevel(level));
    environment_.sharedDefaults->removeObjectForKey(kBMSVerboseLoggingKey);
    logWithLevel(8, 24004, "Verbose logging is off", {});
    verboseLoggingEnabled_ = false;
  }
}

std::string BMSMonitor::logTag() const {
  std::lock_guard lock(tagMutex_);
  return logTag_;
}

void BMSMonitor::setLogTag(std::string tag) {
  std::lock_guard lock(tagMutex_);
  logTag_ = std::move(tag);
}

bool BMSMonitor::isLoggableLevel(std::int64_t level) {
  return !isSilentLevel(level) && CVULoggerIsLoggable(BMSASLLogger::CVULoggerLevelFromLogLevel(level));
}

bool BMSMonitor::keepsLevel(std::int64_t level) const {
  if (!isLoggableLevel(level) && !isMonitorableLevel(level)) return false;
  return level < 8 || verboseLoggingEnabled_;
}

void BMSMonitor::logWithLevel(std::int64_t level, std::int64_t messageCode, const std::string& message,
                              const std::vector<platform::Value>& contexts) {
  if (!keepsLevel(level)) return;
  const bool loggable = isLoggableLevel(level);
  const bool monitorable = isMonitorableLevel(level);
  if (loggable) {
    onQueue([text = stringWithLogMessage(message, level, contexts, encodeContexts_), tag = logTag(),
             messageCode,
             level](BMSMonitor& monitor) { monitor.logger_.logMessage(text, tag, messageCode, level); });
  }
  if (monitorable) {
    std::string context = encodedStringWithContextArray(contexts, false);
    if (const std::string errors = BMSMonitorContextFromErrors(contexts); !errors.empty())
      context += "," + errors;
    queuedSampleUpdates_.fetch_add(1);
    onQueue([key = monitoringDataKeyWithMessage(message, level, libraryVersion_),
             context = std::move(context)](BMSMonitor& monitor) {
      monitor.sampledData_.insertOrUpdateSampledDataWithKey(key, context, monitor.environment_.clock->now(),
                                                            monitor.environment_.randomBelow);
      if (monitor.queuedSampleUpdates_.fetch_sub(1) == 1) monitor.saveOnQueue();
    });
  }
}

std::optional<std::string> BMSMonitor::monitoringDataForDispatchWithSamplePeriod(
    double samplePeriodSeconds, double lastSampledTimestampSince1970) {
  std::optional<std::string> dispatched;
  monitorQueue_->sync([&] {
    dispatched = sampledData_.monitoringDataForDispatchWithSamplePeriod(
        samplePeriodSeconds, lastSampledTimestampSince1970, environment_.clock->now());
    if (dispatched) saveOnQueue();
  });
  return dispatched;
}

void BMSMonitor::clearMonitoringData() {
  monitorQueue_->sync([&] {
    environment_.sharedDefaults->removeObjectForKey(kBMSDebugModeKey);
    environment_.sharedDefaults->removeObjectForKey(kBMSHealthMonitorKey);
    environment_.monitorDefaults->removeObjectForKey(kBMSHealthMonitorKey);
    sampledData_ = BMSMonitoringSampledData(
        environment_.monitorDefaults->arrayForKey(kBMSHealthMonitorKey).value_or(platform::Array{}));
  });
}

std::optional<platform::Array> BMSMonitor::sampledData() {
  std::optional<platform::Array> entry;
  monitorQueue_->sync([&] { entry = sampledData_.sampledData(); });
  return entry;
}

std::string BMSMonitor::stringWithLogMessage(const std::optional<std::string>& message, std::int64_t,
                                             const std::vector<platform::Value>& contexts,
                                             bool encodeContexts) {
  std::string text = !message ? "(Message was nil)" : message->empty() ? "(Message was empty)" : *message;
  if (contexts.empty()) return text;
  text += ": ";
  if (encodeContexts) return text + encodedStringWithContextArray(contexts, true);
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    if (i > 0) text += ", ";
    text += plainContextText(contexts[i]);
  }
  return text;
}

std::string BMSMonitor::encodedStringWithContextArray(const std::vector<platform::Value>& contexts,
                                                      bool insertSpaces) {
  std::string encoded;
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    if (i > 0) encoded += insertSpaces ? ", " : ",";
    encoded += encodedStringWithContextObject(contexts[i]);
  }
  return encoded;
}

std::string BMSMonitor::encodedStringWithContextObject(const platform::Value& context) {
  if (context.isNull()) return "";
  if (context.isString()) return "-";  // the contents of texts are never kept
  if (context.isNumber()) return numberBucket(context.integerValue());
  if (BMSIsExceptionContext(context)) return lastBMSSymbolFromException(context).value_or("-");
  if (const std::optional<platform::Error> error = BMSErrorFromContext(context)) {
    return error->domain.empty() ? "-" : error->domain;
  }
  return "?";
}

std::optional<std::string> BMSMonitor::lastBMSSymbolFromException(const platform::Value& exception) {
  if (!BMSIsExceptionContext(exception)) return std::nullopt;
  return *exception.find("exception.name")->asString();
}

std::string BMSMonitor::monitoringDataKeyWithMessage(const std::string& message, std::int64_t logLevel,
                                                     std::int64_t libraryVersion) {
  return platform::format("%@%c_%lld:%@", "1", levelLetter(logLevel), libraryVersion, message);
}

bool BMSMonitor::isSilentLevel(std::int64_t level) {
  return level == 2 || level == 5 || level > 8;
}

bool BMSMonitor::isMonitorableLevel(std::int64_t level) {
  return level == 1 || level == 2 || level == 4 || level == 5 || level > 8;
}

std::optional<std::string> BMSMonitor::logLevelDescriptionFromLogLevel(std::int64_t level) {
  if (level >= 0 && level <= 2) return "ERROR";
  if (level >= 3 && level <= 5) return "WARNING";
  if (level == 6) return "NOTICE";
  if (level == 7) return "DEBUG";
  return std::nullopt;
}

}  // namespace beacon
