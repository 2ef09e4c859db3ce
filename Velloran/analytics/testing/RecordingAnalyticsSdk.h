#pragma once
// Test double of AnalyticsSdk: records every call in order and answers hasDefaultApp() from a
// switch the test controls. By default configure() succeeds (afterwards a default app exists);
// setConfigureSucceeds(false) makes it leave none, like an SDK without an options file.

#include <optional>
#include <string>
#include <vector>

#include "Velloran/analytics/AnalyticsSdk.h"

namespace velloran::testing {

struct AnalyticsSdkCall {
  enum class Kind {
    HasDefaultApp,
    Configure,
    SetCollectionEnabled,
    LogEvent,
    ResetAnalyticsData,
    WaitForQueuedWork,
    CloseDatabaseAfterQueuedWork
  };

  Kind kind;
  bool enabled = false;                           // SetCollectionEnabled
  std::string name;                               // LogEvent
  std::optional<AnalyticsParameters> parameters;  // LogEvent

  friend bool operator==(const AnalyticsSdkCall&, const AnalyticsSdkCall&) = default;
};

// Readable failure messages: "logEvent(app_open, none)".
void PrintTo(const AnalyticsSdkCall& call, std::ostream* out);

// Shorthands for expected call lists.
AnalyticsSdkCall hasDefaultAppCall();
AnalyticsSdkCall configureCall();
AnalyticsSdkCall setCollectionEnabledCall(bool enabled);
AnalyticsSdkCall logEventCall(std::string name, std::optional<AnalyticsParameters> parameters);
AnalyticsSdkCall resetAnalyticsDataCall();
AnalyticsSdkCall waitForQueuedWorkCall();
AnalyticsSdkCall closeDatabaseAfterQueuedWorkCall();

class RecordingAnalyticsSdk final : public AnalyticsSdk {
 public:
  bool hasDefaultApp() override;
  void configure() override;
  void setAnalyticsCollectionEnabled(bool enabled) override;
  void logEventWithName(const std::string& name,
                        const std::optional<AnalyticsParameters>& parameters) override;
  void resetAnalyticsData() override;
  // Both answer at once that the work is done.
  bool waitForQueuedWork(std::chrono::milliseconds bound) override;
  bool closeDatabaseAfterQueuedWork(std::chrono::milliseconds bound) override;

  void setDefaultAppExists(bool exists) { defaultAppExists_ = exists; }
  void setConfigureSucceeds(bool succeeds) { configureSucceeds_ = succeeds; }

  const std::vector<AnalyticsSdkCall>& calls() const { return calls_; }
  // The logged events only, in order.
  std::vector<AnalyticsSdkCall> events() const;
  void clearCalls() { calls_.clear(); }

 private:
  std::vector<AnalyticsSdkCall> calls_;
  bool defaultAppExists_ = false;
  bool configureSucceeds_ = true;
};

}  // namespace velloran::testing
