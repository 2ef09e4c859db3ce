#include "Velloran/sync/SyncErrorMapping.h"

#include "Velloran/data/SyncProblem.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

// The service being away counts as temporary too, like the network; our mirror has no such
// failure of its own, but the mapping keeps the full rule.
constexpr std::int64_t kServiceUnavailable = 6;

SyncProblem mirrorProblem(std::int64_t code) {
  using Code = platform::CloudMirrorErrorCode;
  if (code == static_cast<std::int64_t>(Code::NetworkUnavailable) ||
      code == static_cast<std::int64_t>(Code::NetworkFailure) || code == kServiceUnavailable) {
    return SyncProblem::temporarilyUnavailable;
  }
  if (code == static_cast<std::int64_t>(Code::NotAuthenticated)) return SyncProblem::noAccount;
  if (code == static_cast<std::int64_t>(Code::ClockAhead)) return SyncProblem::clockAhead;
  return SyncProblem::unavailable;
}

bool isStoreError(const platform::Error& error) {
  return error.domain == platform::kPersistentStoreErrorDomain ||
         error.domain == platform::kSQLiteErrorDomain;
}

SyncEvent::Type appEventType(platform::MirrorEvent::Type type) {
  switch (type) {
    case platform::MirrorEvent::Type::Import:
      return SyncEvent::Type::Import;
    case platform::MirrorEvent::Type::Export:
      return SyncEvent::Type::Export;
    case platform::MirrorEvent::Type::Setup:
      break;
  }
  return SyncEvent::Type::Setup;
}

}  // namespace

platform::Error appSyncError(const platform::Error& error) {
  if (error.domain == platform::kCloudMirrorErrorDomain) {
    return makeSyncProblemError(mirrorProblem(error.code), error);
  }
  if (isStoreError(error)) return makeSyncProblemError(SyncProblem::unavailable, error);
  return error;
}

SyncEvent appSyncEvent(const platform::MirrorEvent& event) {
  SyncEvent converted{appEventType(event.type), event.succeeded, std::nullopt};
  if (event.error) converted.error = appSyncError(*event.error);
  return converted;
}

}  // namespace velloran
