#include "sdk-utilities/reachability/CVUReachabilityChecker.h"

#include "platform/dispatch/Queue.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

constexpr std::string_view kReachabilityService = "[CVUReachability]";

void flagsChanged(platform::ReachabilityHandle, std::uint32_t flags, void* info) {
  static_cast<CVUReachabilityChecker*>(info)->reachabilityFlagsChanged(flags);
}

}  // namespace

const char* CVUReachabilityStatusName(CVUReachabilityStatus status) {
  switch (status) {
    case CVUReachabilityStatus::Unknown:
      return "Unknown";
    case CVUReachabilityStatus::Disconnected:
      return "Disconnected";
    case CVUReachabilityStatus::Connected:
    case CVUReachabilityStatus::Cellular:
      return "Connected";
  }
  return "Unknown";
}

std::unique_ptr<CVUReachabilityChecker> CVUReachabilityChecker::create(
    std::weak_ptr<CVUReachabilityDelegate> delegate, std::string host) {
  if (host.empty()) {
    CVULoggerLogError(kReachabilityService, false, "I-REA902001", "Invalid host specified");
    return nullptr;
  }
  return std::unique_ptr<CVUReachabilityChecker>(
      new CVUReachabilityChecker(std::move(delegate), std::move(host)));
}

CVUReachabilityChecker::CVUReachabilityChecker(std::weak_ptr<CVUReachabilityDelegate> delegate,
                                               std::string host)
    : api_(&platform::defaultReachabilityApi()), host_(std::move(host)), delegate_(std::move(delegate)) {}

CVUReachabilityChecker::~CVUReachabilityChecker() {
  stop();
}

void CVUReachabilityChecker::setReachabilityDelegate(std::weak_ptr<CVUReachabilityDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

bool CVUReachabilityChecker::start() {
  if (!handle_) {
    handle_ = api_->create(host_.c_str());
    if (!handle_) return false;
    // The table's callback reaches this object through `info`; stop() ends the callbacks before the
    // object can go away.
    const bool ok =
        api_->setCallback(handle_, flagsChanged, this) && api_->schedule(handle_, platform::mainQueue());
    if (!ok) {
      api_->release(handle_);
      handle_ = nullptr;
      CVULoggerLogError(kReachabilityService, false, "I-REA902002", "Failed to start reachability handle");
      return false;
    }
  }
  CVULoggerLogDebug(kReachabilityService, false, "I-REA902003", "Monitoring the network status");
  return true;
}

void CVUReachabilityChecker::stop() {
  if (!handle_) return;
  // Once unschedule returned no callback runs, so nothing sets a status after this one.
  api_->unschedule(handle_, platform::mainQueue());
  api_->release(handle_);
  handle_ = nullptr;
  status_ = CVUReachabilityStatus::Unknown;
}

void CVUReachabilityChecker::setReachabilityApi(const platform::ReachabilityApi* api) {
  if (handle_) {
    CVULoggerLogError(kReachabilityService, false, "I-REA902000",
                      "Cannot change reachability API while reachability is running. Call stop first.");
    return;
  }
  if (api) api_ = api;
}

CVUReachabilityStatus CVUReachabilityChecker::statusForFlags(std::uint32_t flags) const {
  const bool reachable = flags & platform::kReachabilityFlagReachable;
  const bool connectionRequired = flags & platform::kReachabilityFlagConnectionRequired;
  const bool interventionRequired = flags & platform::kReachabilityFlagInterventionRequired;
  const bool automatic = flags & (platform::kReachabilityFlagConnectionOnDemand |
                                  platform::kReachabilityFlagConnectionOnTraffic);
  if (reachable && (!connectionRequired || (!interventionRequired && automatic))) {
    return CVUReachabilityStatus::Connected;
  }
  return CVUReachabilityStatus::Disconnected;
}

void CVUReachabilityChecker::reachabilityFlagsChanged(std::uint32_t flags) {
  const CVUReachabilityStatus status = statusForFlags(flags);
  if (status_.exchange(status) == status) return;
  CVULoggerLogDebug(kReachabilityService, false, "I-REA902004",
                    "Network status has changed. Code:%@, status:%@", static_cast<std::int64_t>(status),
                    std::string(CVUReachabilityStatusName(status)));
  std::shared_ptr<CVUReachabilityDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_.lock();
  }
  // Outside the lock: the delegate may set another delegate or stop the checker.
  if (delegate) delegate->reachabilityStatusChanged(*this, status);
}

}  // namespace beacon
