#pragma once
// The three services the engine's value, validation and event leaves reach outside themselves, as
// narrow interfaces installed once for the process:
// - BMSLogSink: where log lines go (the engine monitor implements it);
// - BMSParameterLimits: the parameter limits of the downloaded configuration, read at each use (the
//   downloaded configuration implements it);
// - BMSInternalEventLogger: the road of the engine's own "_err" events (the analytics facade
//   implements it).
//
// Until the engine installs its own, the defaults serve: log lines are dropped, the limits are the
// configuration's built-in defaults, and internal events are dropped (nothing is there to take them
// before the facade starts). Installing null puts the default back. Installation and lookup are safe
// from any thread; a lookup hands out a shared reference, so a service being replaced finishes the
// calls already made on it. Tests install fakes and put the defaults back when they end.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value/Value.h"

namespace beacon {

class BMSLogSink {
 public:
  virtual ~BMSLogSink() = default;
  // `level` 0 to 8 (and above) as the monitor's table has them; `contexts` in the order given, a
  // missing object as the null value.
  virtual void logWithLevel(std::int64_t level, std::int64_t messageCode, const std::string& message,
                            const std::vector<platform::Value>& contexts) = 0;
  // Whether a line of `level` would be kept at all (printed or sampled): a caller whose contexts
  // cost work to build asks first.
  virtual bool keepsLevel(std::int64_t /*level*/) const { return true; }
};

class BMSParameterLimits {
 public:
  virtual ~BMSParameterLimits() = default;
  virtual std::int32_t maxPublicEventParams() const = 0;
  virtual std::int32_t maxPublicEventParameterValueLength() const = 0;
  virtual std::int32_t maxInternalEventParameterValueLength() const = 0;
  virtual bool itemScopedCustomParameterEnabled() const = 0;
  virtual std::int32_t maxItemScopedCustomParameters() const = 0;
};

// The configuration's built-in values: 25 public parameters, public values of 100 scalars, internal
// values of 256 (or the public maximum when that is larger), item-scoped custom parameters on with at
// most 27 per item.
class BMSDefaultParameterLimits : public BMSParameterLimits {
 public:
  static constexpr std::int32_t kMaxPublicEventParams = 25;
  static constexpr std::int32_t kMaxPublicEventParameterValueLength = 100;
  static constexpr std::int32_t kMinInternalEventParameterValueLength = 256;
  static constexpr std::int32_t kMaxItemScopedCustomParameters = 27;

  std::int32_t maxPublicEventParams() const override { return kMaxPublicEventParams; }
  std::int32_t maxPublicEventParameterValueLength() const override {
    return kMaxPublicEventParameterValueLength;
  }
  std::int32_t maxInternalEventParameterValueLength() const override;
  bool itemScopedCustomParameterEnabled() const override { return true; }
  std::int32_t maxItemScopedCustomParameters() const override { return kMaxItemScopedCustomParameters; }
};

class BMSInternalEventLogger {
 public:
  virtual ~BMSInternalEventLogger() = default;
  // Parameters as plain values: "_err" and "_el" integers, "_ev" a string.
  virtual void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                          const platform::Dictionary& parameters) = 0;
};

class BMSEngineServices {
 public:
  static std::shared_ptr<BMSLogSink> logSink();
  static void setLogSink(std::shared_ptr<BMSLogSink> sink);
  static std::shared_ptr<const BMSParameterLimits> parameterLimits();
  static void setParameterLimits(std::shared_ptr<const BMSParameterLimits> limits);
  static std::shared_ptr<BMSInternalEventLogger> internalEventLogger();
  static void setInternalEventLogger(std::shared_ptr<BMSInternalEventLogger> logger);
};

// One log line through the installed sink.
void BMSLog(std::int64_t level, std::int64_t messageCode, std::string_view message,
            std::vector<platform::Value> contexts = {});
// Whether the installed sink keeps lines of `level`.
bool BMSLogKeepsLevel(std::int64_t level);

}  // namespace beacon
