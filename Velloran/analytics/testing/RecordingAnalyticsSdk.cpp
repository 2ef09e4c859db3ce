#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"

#include <ostream>

namespace velloran::testing {

void PrintTo(const AnalyticsSdkCall& call, std::ostream* out) {
  switch (call.kind) {
    case AnalyticsSdkCall::Kind::HasDefaultApp:
      *out << "hasDefaultApp()";
      break;
    case AnalyticsSdkCall::Kind::Configure:
      *out << "configure()";
      break;
    case AnalyticsSdkCall::Kind::SetCollectionEnabled:
      *out << "setAnalyticsCollectionEnabled(" << (call.enabled ? "true" : "false") << ")";
      break;
    case AnalyticsSdkCall::Kind::LogEvent:
      *out << "logEvent(" << call.name << ", ";
      if (call.parameters) {
        *out << platform::Value(*call.parameters);
      } else {
        *out << "none";
      }
      *out << ")";
      break;
    case AnalyticsSdkCall::Kind::ResetAnalyticsData:
      *out << "resetAnalyticsData()";
      break;
    case AnalyticsSdkCall::Kind::WaitForQueuedWork:
      *out << "waitForQueuedWork()";
      break;
    case AnalyticsSdkCall::Kind::CloseDatabaseAfterQueuedWork:
      *out << "closeDatabaseAfterQueuedWork()";
      break;
  }
}

AnalyticsSdkCall hasDefaultAppCall() {
  return {AnalyticsSdkCall::Kind::HasDefaultApp, false, {}, std::nullopt};
}

AnalyticsSdkCall configureCall() {
  return {AnalyticsSdkCall::Kind::Configure, false, {}, std::nullopt};
}

AnalyticsSdkCall setCollectionEnabledCall(bool enabled) {
  return {AnalyticsSdkCall::Kind::SetCollectionEnabled, enabled, {}, std::nullopt};
}

AnalyticsSdkCall logEventCall(std::string name, std::optional<AnalyticsParameters> parameters) {
  return {AnalyticsSdkCall::Kind::LogEvent, false, std::move(name), std::move(parameters)};
}

AnalyticsSdkCall resetAnalyticsDataCall() {
  return {AnalyticsSdkCall::Kind::ResetAnalyticsData, false, {}, std::nullopt};
}

AnalyticsSdkCall waitForQueuedWorkCall() {
  return {AnalyticsSdkCall::Kind::WaitForQueuedWork, false, {}, std::nullopt};
}

AnalyticsSdkCall closeDatabaseAfterQueuedWorkCall() {
  return {AnalyticsSdkCall::Kind::CloseDatabaseAfterQueuedWork, false, {}, std::nullopt};
}

bool RecordingAnalyticsSdk::hasDefaultApp() {
  calls_.push_back(hasDefaultAppCall());
  return defaultAppExists_;
}

void RecordingAnalyticsSdk::configure() {
  calls_.push_back(configureCall());
  if (configureSucceeds_) defaultAppExists_ = true;
}

void RecordingAnalyticsSdk::setAnalyticsCollectionEnabled(bool enabled) {
  calls_.push_back(setCollectionEnabledCall(enabled));
}

void RecordingAnalyticsSdk::logEventWithName(const std::string& name,
                                             const std::optional<AnalyticsParameters>& parameters) {
  calls_.push_back(logEventCall(name, parameters));
}

void RecordingAnalyticsSdk::resetAnalyticsData() {
  calls_.push_back(resetAnalyticsDataCall());
}

bool RecordingAnalyticsSdk::waitForQueuedWork(std::chrono::milliseconds) {
  calls_.push_back(waitForQueuedWorkCall());
  return true;
}

bool RecordingAnalyticsSdk::closeDatabaseAfterQueuedWork(std::chrono::milliseconds) {
  calls_.push_back(closeDatabaseAfterQueuedWorkCall());
  return true;
}

std::vector<AnalyticsSdkCall> RecordingAnalyticsSdk::events() const {
  std::vector<AnalyticsSdkCall> events;
  for (const auto& call : calls_) {
    if (call.kind == AnalyticsSdkCall::Kind::LogEvent) events.push_back(call);
  }
  return events;
}

}  // namespace velloran::testing
