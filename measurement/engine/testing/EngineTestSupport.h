#pragma once
// Fakes of the engine's installed services for tests: a log sink that keeps every line, limits that a
// test sets field by field, and an internal-event logger that keeps every event. ScopedEngineServices
// installs all three and puts the defaults back when the test ends.

#include <memory>
#include <string>
#include <vector>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSValue.h"

namespace beacon::testing {

inline BMSValue text(std::string value) {
  return BMSValue::initWithStringValue(std::move(value));
}
inline BMSValue integer(std::int64_t value) {
  return BMSValue::initWithInt64(value);
}

struct LoggedLine {
  std::int64_t level;
  std::int64_t code;
  std::string message;
  std::vector<platform::Value> contexts;
};

class CapturingLogSink : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t level, std::int64_t code, const std::string& message,
                    const std::vector<platform::Value>& contexts) override {
    lines.push_back({level, code, message, contexts});
  }
  std::vector<std::int64_t> codes() const {
    std::vector<std::int64_t> all;
    for (const auto& line : lines) all.push_back(line.code);
    return all;
  }
  std::vector<LoggedLine> lines;
};

class SettableParameterLimits : public BMSParameterLimits {
 public:
  std::int32_t maxPublicEventParams() const override { return maxPublicEventParams_; }
  std::int32_t maxPublicEventParameterValueLength() const override {
    return maxPublicEventParameterValueLength_;
  }
  std::int32_t maxInternalEventParameterValueLength() const override {
    return maxInternalEventParameterValueLength_;
  }
  bool itemScopedCustomParameterEnabled() const override { return itemScopedCustomParameterEnabled_; }
  std::int32_t maxItemScopedCustomParameters() const override { return maxItemScopedCustomParameters_; }

  std::int32_t maxPublicEventParams_ = 25;
  std::int32_t maxPublicEventParameterValueLength_ = 100;
  std::int32_t maxInternalEventParameterValueLength_ = 256;
  bool itemScopedCustomParameterEnabled_ = true;
  std::int32_t maxItemScopedCustomParameters_ = 27;
};

struct LoggedEvent {
  std::string origin;
  std::string name;
  platform::Dictionary parameters;
};

class CapturingInternalEventLogger : public BMSInternalEventLogger {
 public:
  void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                  const platform::Dictionary& parameters) override {
    events.push_back({origin, name, parameters});
  }
  std::vector<LoggedEvent> events;
};

class ScopedEngineServices {
 public:
  ScopedEngineServices() {
    BMSEngineServices::setLogSink(log);
    BMSEngineServices::setParameterLimits(limits);
    BMSEngineServices::setInternalEventLogger(events);
  }
  ~ScopedEngineServices() {
    BMSEngineServices::setLogSink(nullptr);
    BMSEngineServices::setParameterLimits(nullptr);
    BMSEngineServices::setInternalEventLogger(nullptr);
  }
  ScopedEngineServices(const ScopedEngineServices&) = delete;
  ScopedEngineServices& operator=(const ScopedEngineServices&) = delete;

  std::shared_ptr<CapturingLogSink> log = std::make_shared<CapturingLogSink>();
  std::shared_ptr<SettableParameterLimits> limits = std::make_shared<SettableParameterLimits>();
  std::shared_ptr<CapturingInternalEventLogger> events = std::make_shared<CapturingInternalEventLogger>();
};

}  // namespace beacon::testing
