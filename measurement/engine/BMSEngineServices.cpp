#include "measurement/engine/BMSEngineServices.h"

#include <algorithm>
#include <mutex>

namespace beacon {
namespace {

class DroppingLogSink : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t, std::int64_t, const std::string&,
                    const std::vector<platform::Value>&) override {}
  bool keepsLevel(std::int64_t) const override { return false; }
};

class DroppingInternalEventLogger : public BMSInternalEventLogger {
 public:
  void logInternalEventWithOrigin(const std::string&, const std::string&,
                                  const platform::Dictionary&) override {}
};

struct Installed {
  std::mutex lock;
  std::shared_ptr<BMSLogSink> logSink = std::make_shared<DroppingLogSink>();
  std::shared_ptr<const BMSParameterLimits> limits = std::make_shared<BMSDefaultParameterLimits>();
  std::shared_ptr<BMSInternalEventLogger> eventLogger = std::make_shared<DroppingInternalEventLogger>();
};

Installed& installed() {
  static Installed* services = new Installed();  // outlives every thread that may still log at exit
  return *services;
}

template <class T>
std::shared_ptr<T> read(std::shared_ptr<T> Installed::*member) {
  std::lock_guard guard(installed().lock);
  return installed().*member;
}

template <class T, class Default>
void replace(std::shared_ptr<T> Installed::*member, std::shared_ptr<T> value) {
  if (!value) value = std::make_shared<Default>();
  std::lock_guard guard(installed().lock);
  installed().*member = std::move(value);
}

}  // namespace

std::int32_t BMSDefaultParameterLimits::maxInternalEventParameterValueLength() const {
  return std::max(kMinInternalEventParameterValueLength, maxPublicEventParameterValueLength());
}

std::shared_ptr<BMSLogSink> BMSEngineServices::logSink() {
  return read(&Installed::logSink);
}
void BMSEngineServices::setLogSink(std::shared_ptr<BMSLogSink> sink) {
  replace<BMSLogSink, DroppingLogSink>(&Installed::logSink, std::move(sink));
}

std::shared_ptr<const BMSParameterLimits> BMSEngineServices::parameterLimits() {
  return read(&Installed::limits);
}
void BMSEngineServices::setParameterLimits(std::shared_ptr<const BMSParameterLimits> limits) {
  replace<const BMSParameterLimits, BMSDefaultParameterLimits>(&Installed::limits, std::move(limits));
}

std::shared_ptr<BMSInternalEventLogger> BMSEngineServices::internalEventLogger() {
  return read(&Installed::eventLogger);
}
void BMSEngineServices::setInternalEventLogger(std::shared_ptr<BMSInternalEventLogger> logger) {
  replace<BMSInternalEventLogger, DroppingInternalEventLogger>(&Installed::eventLogger, std::move(logger));
}

void BMSLog(std::int64_t level, std::int64_t messageCode, std::string_view message,
            std::vector<platform::Value> contexts) {
  BMSEngineServices::logSink()->logWithLevel(level, messageCode, std::string(message), contexts);
}

bool BMSLogKeepsLevel(std::int64_t level) {
  return BMSEngineServices::logSink()->keepsLevel(level);
}

}  // namespace beacon
