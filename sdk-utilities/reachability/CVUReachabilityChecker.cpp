#include "sdk-utilities/reachability/CVUReachabilityChecker.h"

#include "platform/dispatch/Queue.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

constexpr std::string_view kService = "[CVUReachability]";

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
    CVULoggerLogError(kService, false, "I-REA902001", "Invalid host specified");
    return nullptr;
  }
  return std::unique_ptr<CVUReachabilityChecker>(
      new CVUReachabilityChecker(std::move(delegate), std::move(host)));
}

CVUReachabilityChecker::CVUReachabilityChecker(std::weak_ptr<CVUReachabilityDelegate> delegate,
                                               std::string host)
    : api_(&platform::defaultReachabilityApi()), host_(std::move(host)), delegate_(std::move(delegate)) {}

CVUReachabilityChecker::~CVUReachabilityChecker() {
  delegate_.reset();
  stop();
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
      CVULoggerLogError(kService, false, "I-REA902002", "Failed to start reachability handle");
      return false;
    }
  }
  CVULoggerLogDebug(kService, false, "I-REA902003", "Monitoring the network status");
  return true;
}

void CVUReachabilityChecker::stop() {
  if (!handle_) return;
  status_ = CVUReachabilityStatus::Unknown;
  api_->unschedule(handle_, platform::mainQueue());
  api_->release(handle_);
  handle_ = nullptr;
}

void CVUReachabilityChecker::setReachabilityApi(const platform::ReachabilityApi* api) {
  if (handle_) {
    CVULoggerLogError(kService, false, "I-REA902000",
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
  if (status == status_) return;
  CVULoggerLogDebug(kService, false, "I-REA902004", "Network status has changed. Code:%@, status:%@",
                    static_cast<std::int64_t>(status), std::string(CVUReachabilityStatusName(status)));
  status_ = status;
  if (auto delegate = delegate_.lock()) delegate->reachabilityStatusChanged(*this, status_);
}

}  // namespace beacon
