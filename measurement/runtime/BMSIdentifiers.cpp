#include "measurement/runtime/BMSIdentifiers.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSNumericUtil.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {
namespace {

// The engine's identity when the engine exists, else the shared one; logged with the codes given when
// neither is there.
std::shared_ptr<BMSIdentity> identityFor(std::int64_t noEngineIdentityCode,
                                         const char* noEngineIdentityMessage) {
  if (std::shared_ptr<BMSMeasurement> engine =
          BMSMeasurement::hasSharedInstance() ? BMSMeasurement::sharedInstance() : nullptr) {
    if (std::shared_ptr<BMSIdentity> identity = engine->identity()) return identity;
  }
  std::shared_ptr<BMSIdentity> identity = AnalyticsContext::current().identity();
  if (!identity) BMSLog(2, noEngineIdentityCode, noEngineIdentityMessage);
  return identity;
}

}  // namespace

BMSIdentifiers& BMSIdentifiers::shared() {
  return AnalyticsContext::current().identifiers();
}

BMSIdentifiers::BMSIdentifiers(AnalyticsContext& context)
    : adEventID_(BMSNumericUtil::randomInt64(context.random())) {}

std::optional<std::string> BMSIdentifiers::corvaneAppID() const {
  std::shared_ptr<BMSIdentity> identity =
      identityFor(37001, "Unable to fetch Corvane App ID from default options");
  std::optional<std::string> appID = identity ? identity->appIDFromCNP() : std::nullopt;
  if (identity && !appID) BMSLog(2, 37000, "Unable to fetch Corvane App ID from identity");
  return appID;
}

std::optional<std::string> BMSIdentifiers::analyticsAppID() const {
  std::shared_ptr<BMSIdentity> identity =
      identityFor(37005, "Unable to fetch effective App ID from identity");
  if (!identity) return std::nullopt;
  if (std::optional<std::string> cnp = identity->appIDFromCNP(); cnp && !cnp->empty()) return cnp;
  if (std::optional<std::string> adReach = identity->appIDFromAdReach(); adReach && !adReach->empty())
    return adReach;
  BMSLog(2, 37005, "Unable to fetch effective App ID from identity");
  return std::nullopt;
}

std::optional<std::string> BMSIdentifiers::appInstanceID() const {
  std::shared_ptr<BMSIdentity> identity =
      identityFor(37003, "Unable to fetch App Instance ID from identity shared instance");
  std::optional<std::string> id = identity ? identity->appInstanceID() : std::nullopt;
  if (identity && !id) BMSLog(2, 37002, "Unable to fetch App Instance ID from identity");
  return id;
}

std::string BMSIdentifiers::adEventID() {
  // Wraps around at the 64-bit limit, which unsigned arithmetic inside fetch_add makes well defined.
  return std::to_string(adEventID_.fetch_add(1));
}

std::string BMSIdentifiers::libraryVersion() const {
  return std::to_string(BMSIdentity::appMeasurementLibraryVersion());
}

std::optional<std::string> BMSIdentifiers::origin() const {
  std::lock_guard lock(originMutex_);
  return origin_;
}

void BMSIdentifiers::setOrigin(const std::string& origin) {
  if (origin.empty()) {
    BMSLog(2, 37004, "Cannot set the data collection origin. Origin cannot be empty");
    return;
  }
  std::lock_guard lock(originMutex_);
  origin_ = origin;
}

}  // namespace beacon
